// The program's side of the training history: the service started once the
// start-up is over, each results file handed to it after the save, and the
// "Storico" window, whose sets open as "Apri..." opens a trial.
#include "programma.h"

#include "frm_apertura.h"
#include "frm_main.h"

#include "device/registro.h"
#include "storico/frm_storico.h"
#include "storico/servizio_storico.h"

#include <QTimer>

#include <optional>
#include <regex>

namespace vexa {

namespace {

// The board type is the last " Scheda tipo N" of the link status.
std::optional<int> tipo_scheda(const std::string& stato_connessione) {
    static const std::regex tipo(" Scheda tipo ([0-9]+)");
    std::optional<int> t;
    for (auto i = std::sregex_iterator(stato_connessione.begin(), stato_connessione.end(), tipo);
         i != std::sregex_iterator(); ++i)
        t = std::stoi((*i)[1].str());
    return t;
}

} // namespace

void Programma::avvia_storico() {
    if (storico_) return;
    // The club's server of the settings store, if one is set: the station's
    // sets go on to it in the background.
    ServizioStorico::Opzioni o;
    o.club = leggi_club();
    storico_ = std::make_unique<ServizioStorico>(cartella_, o);
    connect(storico_.get(), &ServizioStorico::messaggio, this,
            [this](const QString& testo) { mostra_messaggio(testo.toStdString(), Icona::Esclamazione); });
    storico_->avvia();
}

void Programma::registra_nello_storico(const QString& file_dati) {
    if (!storico_) return;
    // After the whole save: whatever else the save writes beside the results
    // (the velocity-training figures) is on disk by then.
    QTimer::singleShot(0, this, [this, file_dati, tipo = tipo_scheda(stato.stato_connessione),
                                 squadra = QString::fromStdString(stato.squadra)] {
        if (storico_) storico_->registra(file_dati, tipo, squadra);
    });
}

void Programma::acquisizione_cambiata() {
    if (finestra_storico_) finestra_storico_->acquisizione_cambiata();
}

Frm_storico& Programma::mostra_storico() {
    if (!finestra_storico_) {
        const Frm_storico::Scelta scelta{QString::fromStdString(stato.squadra), QString::fromStdString(stato.nome_atleta),
                                         QString::fromStdString(stato.esercizio)};
        finestra_storico_ = new Frm_storico(cartella_, storico_.get(), scelta, principale_.get(),
                                            [this] { return stato.acquisizione_in_corso; });
        finestra_storico_->setWindowFlag(Qt::Window);
        finestra_storico_->setAttribute(Qt::WA_DeleteOnClose);
        finestra_storico_->mostra_messaggio = [this](const QString& t) { mostra_messaggio(t.toStdString(), Icona::Esclamazione); };
        if (o_.chiedi_file)
            finestra_storico_->chiedi_file = [this](const QString& titolo, const QString& proposto, const QString& filtro) {
                return o_.chiedi_file(true, titolo, cartella_, proposto, filtro, QString());
            };
        finestra_storico_->apri_prova = [this](const QString& file) {
            // As "Apri...": never over a running acquisition.
            if (stato.acquisizione_in_corso) {
                mostra_messaggio("Fermare l'acquisizione prima di aprire una prova dello storico.", Icona::Esclamazione);
                return;
            }
            if (apri_prova(file).isEmpty()) {
                principale_->raise();
                principale_->activateWindow();
            }
        };
    }
    finestra_storico_->show();
    finestra_storico_->raise();
    finestra_storico_->activateWindow();
    return *finestra_storico_;
}

} // namespace vexa
