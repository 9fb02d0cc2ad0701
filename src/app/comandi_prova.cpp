// The program's trial-file commands: the two exports from the File menu, the
// automatic save of a recorded acquisition, and "Apri...".
#include "programma.h"

#include "frm_apertura.h"
#include "frm_main.h"

#include "device/registro.h"
#include "trials/file_prova.h"
#include "trials/file_vbt.h"
#include "trials/riproduzione.h"
#include "trials/salvataggio.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QProgressDialog>

#include <variant>

namespace vexa {

namespace {

QString da_utf8(const std::string& t) { return QString::fromStdString(t); }

} // namespace

QString Programma::cartella_dialoghi() const {
    const QString a = da_utf8(stato.cartella_atleta);
    return !a.isEmpty() && QFileInfo(a).isDir() ? a : cartella_;
}

QString Programma::chiedi_file(bool salva, const QString& titolo, const QString& proposto) {
    const QString cartella = cartella_dialoghi();
    const QString& filtro = dialogo_.filtro;
    const QString& estensione = dialogo_.estensione;
    QString nome;
    if (o_.chiedi_file) {
        nome = o_.chiedi_file(salva, titolo, cartella, proposto, filtro, estensione);
    } else {
        QFileDialog d(principale_.get(), titolo, cartella, filtro);
        d.setAcceptMode(salva ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        d.setFileMode(salva ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        if (!estensione.isEmpty()) d.setDefaultSuffix(estensione);
        if (!proposto.isEmpty()) d.selectFile(proposto);
        if (d.exec() == QDialog::Accepted && !d.selectedFiles().isEmpty()) nome = d.selectedFiles().first();
    }
    // Not every dialog adds it (a desktop's own may not): the file must still
    // be one a spreadsheet opens.
    if (salva && !nome.isEmpty() && !estensione.isEmpty() && QFileInfo(nome).suffix().isEmpty())
        nome += QLatin1Char('.') + estensione;
    return nome;
}

QString Programma::Salva_File_Intero_csv(QString& nome) {
    const FormatoLocale f = formato_locale();
    if (nome.isEmpty()) {
        // Before any athlete was confirmed there is no athlete folder: the
        // recording folder takes the file rather than the file system's root.
        QString cartella = da_utf8(stato.cartella_atleta);
        if (cartella.isEmpty() || !QDir().mkpath(cartella))
            cartella = QDir(cartella_).filePath(QStringLiteral("misure_auto"));
        QDir().mkpath(cartella);
        const auto p = percorsi_automatici(cartella, adesso(), f);
        if (!p) {
            const QString e = QStringLiteral("Impossibile trovare un nome libero per la prova in %1.").arg(cartella);
            mostra_messaggio(e.toStdString(), Icona::Critico);
            return e;
        }
        nome = p->intero;
    }
    const QString e = scrivi_file(nome, testo_file_intero(stato.campioni, stato.n_campioni, f));
    if (!e.isEmpty()) {
        qCWarning(lcFile).noquote() << "prova non salvata:" << e;
        mostra_messaggio(e.toStdString(), Icona::Critico);
        return e;
    }
    qCInfo(lcFile).noquote() << "prova salvata:" << nome << stato.n_campioni << "campioni";
    return {};
}

QString Programma::Salva_File_Dati_csv(const QString& nome) {
    const VistaProva& v = principale_->grafici()->vista();
    const int n = v.lst_valori[0]->numero_righe();
    QProgressDialog progresso(QStringLiteral("Salvataggio dei risultati..."), QString(), 0, 0, principale_.get());
    progresso.setWindowTitle(QStringLiteral("Vexa Meter"));
    progresso.setMinimumDuration(0);
    if (n - 1 > 0) progresso.setMaximum(n - 1);
    progresso.show();
    const std::vector<RigaRisultati> righe = righe_risultati(v, stato.ripetizioni);
    for (int r = 0; r < n; ++r) {
        progresso.setValue(r);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    const QString e = scrivi_file(nome, testo_file_dati(stato.nome_atleta, stato.esercizio, stato.carico_kg, righe,
                                                        adesso(), formato_locale()));
    progresso.close();
    // A results file that could not be written is said, not passed over.
    if (!e.isEmpty()) {
        qCWarning(lcFile).noquote() << "risultati non salvati:" << e;
        mostra_messaggio(e.toStdString(), Icona::Critico);
        return e;
    }
    qCInfo(lcFile).noquote() << "risultati salvati:" << nome << n << "ripetizioni";
    // The velocity-training figures go beside the results, whichever way they were saved.
    const QString vbt = QString::fromStdString(nome_file_vbt(nome.toStdString()));
    const QString ev = scrivi_file(vbt, testo_file_vbt(stato.indici_vbt, formato_locale()));
    // The results are on disk whatever became of the figures: the history takes them.
    registra_nello_storico(nome);
    if (!ev.isEmpty()) {
        qCWarning(lcFile).noquote() << "indici VBT non salvati:" << ev;
        mostra_messaggio(ev.toStdString(), Icona::Critico);
        return ev;
    }
    return {};
}

bool Programma::salva_automatico() {
    QString intero;
    if (!Salva_File_Intero_csv(intero).isEmpty()) return false;
    file_salvati_.push_back(intero);
    // The results go beside the whole trial, with the same time stamp.
    QString dati = intero;
    dati.chop(4);
    dati += QStringLiteral(" dati.csv");
    if (QFileInfo::exists(dati) || !Salva_File_Dati_csv(dati).isEmpty()) return false;
    file_salvati_.push_back(dati);
    return true;
}

void Programma::mnuFileSalva_intero_Click() {
    const FormatoLocale f = formato_locale();
    const QString proposto = nome_file_valido(da_utf8(nome_automatico(adesso(), f))) + QStringLiteral(".csv");
    QString nome;
    try {
        dialogo_.estensione = QStringLiteral("csv");
        nome = chiedi_file(true, QStringLiteral("Salva file intero con nome"), proposto);
    } catch (const std::exception& e) {
        qCWarning(lcFile) << "finestra di salvataggio non aperta:" << e.what();
        return;
    }
    if (nome.isEmpty()) return;
    Salva_File_Intero_csv(nome);
}

void Programma::mnuFileSalva_parziale_Click() {
    QString nome;
    try {
        const DataOra t = adesso();
        const QString proposto = nome_file_valido(da_utf8(nome_proposto_dati(stato.esercizio, t)));
        dialogo_.estensione = QStringLiteral("csv");
        dialogo_.filtro = QStringLiteral("*.csv");
        nome = chiedi_file(true, QStringLiteral("Salva dati  con nome"), proposto);
    } catch (const std::exception& e) {
        mostra_messaggio(std::string("ERR 0182 : ") + e.what(), Icona::Critico);
        return;
    }
    if (nome.isEmpty()) return;
    Salva_File_Dati_csv(nome);
}

void Programma::mnuFileApri_Click() {
    if (stato.acquisizione_in_corso) return;
    const QString nome = chiedi_file(false, QString(), QString());
    if (nome.isEmpty()) return;
    apri_prova(nome);
}

QString Programma::apri_prova(const QString& percorso) {
    auto letto = leggi_file(percorso);
    if (auto* e = std::get_if<QString>(&letto)) {
        mostra_messaggio(e->toStdString(), Icona::Esclamazione);
        return *e;
    }
    const QByteArray& byte = std::get<QByteArray>(letto);
    auto prova = leggi_file_prova(std::string_view(byte.constData(), static_cast<std::size_t>(byte.size())));
    if (auto* e = std::get_if<std::string>(&prova)) {
        mostra_messaggio(*e, Icona::Esclamazione);
        return da_utf8(*e);
    }
    const ProvaLetta& p = std::get<ProvaLetta>(prova);
    VistaProva& v = principale_->grafici()->vista();
    if (p.formato == ProvaLetta::Formato::Pesi01) {
        // The older format carries a sampling time and samples nobody can show.
        azzera_prova(stato, v);
        stato.tempo_campionamento = p.tempo_campionamento;
        qCInfo(lcFile).noquote() << "aperta prova pesi01:" << percorso;
        return {};
    }
    const EsitoRiproduzione esito = riproduci_campioni(p.campioni, stato, v, *analisi_);
    principale_->intestazione()->Aggiorna_intestazione();
    qCInfo(lcFile).noquote() << "aperta prova:" << percorso << p.campioni.size() << "campioni,"
                             << v.lst_valori[0]->numero_righe() << "ripetizioni"
                             << (esito.collegamento_noto ? "" : "(scheda non riconosciuta dai campioni)");
    return {};
}

} // namespace vexa
