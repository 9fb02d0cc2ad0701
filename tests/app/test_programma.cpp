// The program as a coach starts it: each way the start-up can end (USB
// board, serial board, USB board without access, no board), the splash
// window, closing the main window, and a set measured through the real
// widgets against the simulated board.
#include "app/frm_apertura.h"
#include "app/frm_main.h"
#include "app/programma.h"

#include "device/frm_seriale.h"
#include "settings/frm_utente.h"
#include "ui/frm_edit_grafici.h"
#include "sim/backend_simulato.h"
#include "device/hid/frm_hid.h"
#include "device/porta_seriale.h"
#include "device/protocollo.h"
#include "sim/board_sim.h"
#include "storico/servizio_storico.h"
#include "ui/frm_vbt.h"
#include "ui/suono.h"
#include "trials/file_prova.h"
#include "trials/giornale_disco.h"
#include "trials/salvataggio.h"
#include "analysis/formato.h"

#include <QComboBox>
#include <QDir>
#include <QMenu>
#include <QRegularExpression>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <memory>
#include <variant>

using namespace vexa;

namespace {

struct Avvio {
    QTemporaryDir cartella;
    std::vector<std::string> messaggi;
    BackendHidSimulato* usb = nullptr; // owned by the program once created
    std::function<void(BackendHidSimulato&)> prepara_usb;
    std::unique_ptr<sim::SchedaSimulata> scheda;
    std::unique_ptr<Programma> p;
    std::function<QString(bool, const QString&, const QString&, const QString&, const QString&, const QString&)>
        chiedi_file;

    Avvio() {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, cartella.filePath(QStringLiteral("cfg")));
        // Only the links here count as ports: the machine's own are never probed.
        QDir().mkpath(cartella.filePath(QStringLiteral("prog/ports")));
    }
    void scheda_seriale(int porta, sim::OpzioniScheda o = {}) {
        scheda = std::make_unique<sim::SchedaSimulata>(o);
        QString errore;
        QVERIFY2(scheda->apri(&errore), qPrintable(errore));
        QVERIFY2(scheda->collega(cartella.filePath(QStringLiteral("prog/ports/com%1").arg(porta)), &errore),
                 qPrintable(errore));
    }
    EsitoAvvio avvia() {
        OpzioniProgramma o;
        o.cartella_programma = cartella.filePath(QStringLiteral("prog"));
        o.attesa_hid_ms = 150;
        o.attesa_apertura_ms = 20;
        o.versione[0] = 1;
        o.versione[1] = 3;
        o.versione[2] = 9;
        o.chiedi_file = [this](bool salva, const QString& titolo, const QString& cartella, const QString& proposto,
                               const QString& filtro, const QString& estensione) {
            return chiedi_file ? chiedi_file(salva, titolo, cartella, proposto, filtro, estensione) : QString();
        };
        o.mostra_messaggio = [this](const std::string& t, Icona, const std::string&) { messaggi.push_back(t); };
        o.crea_backend_hid = [this] {
            auto b = std::make_unique<BackendHidSimulato>();
            usb = b.get();
            if (prepara_usb) prepara_usb(*b);
            return b;
        };
        p = std::make_unique<Programma>(o);
        p->stato.ampiezza_min = 100;
        p->stato.vel_max = 520;
        p->stato.limite_sup = 110;
        p->stato.limite_inf = 90;
        return p->avvia();
    }
    QString titolo() const { return p->principale().windowTitle(); }
    // A serial board of type 2 streaming four repetitions, found at start-up,
    // and the main window up.
    void avvia_con_serie_seriale(double velocita) {
        sim::OpzioniScheda o;
        o.velocita = velocita;
        QVERIFY(sim::leggi_descrizione("ripetizioni=4,perdita=4", o.serie).empty());
        scheda_seriale(2, o);
        QCOMPARE(avvia(), EsitoAvvio::Seriale);
        QTRY_VERIFY(p->principale().isVisible());
    }
};

void attendi(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

} // namespace

class TestProgramma : public QObject {
    Q_OBJECT
private slots:
    void avvio_con_scheda_usb() {
        Avvio a;
        a.prepara_usb = [](BackendHidSimulato& b) { b.collega(VID_SCHEDA, PID_SCHEDA, 2); };
        QCOMPARE(a.avvia(), EsitoAvvio::Hid);
        QCOMPARE(a.titolo(), QStringLiteral("VEXA METER 1.3.9 Connesso via HID Scheda tipo 2"));
        QVERIFY(a.p->stato.hid_attivo);
        QVERIFY(!a.p->stato.seriale_attiva);
        QVERIFY(a.p->hid() && a.p->hid()->isHidden());
        QVERIFY(!a.p->porta().PortOpen());
        QVERIFY(a.p->suono().toni() + a.p->suono().beep_di_sistema() >= 1);
        QVERIFY(a.messaggi.empty());
        QVERIFY(!a.p->principale().cmd()->Button_start->valore());
    }

    void avvio_con_scheda_usb_senza_accesso() {
        Avvio a;
        a.prepara_usb = [](BackendHidSimulato& b) { b.imposta_accesso_negato(b.collega(), true); };
        a.scheda_seriale(4);
        QCOMPARE(a.avvia(), EsitoAvvio::Seriale);
        QVERIFY(!a.p->stato.hid_attivo);
        QCOMPARE(a.titolo(), QStringLiteral("VEXA METER 1.3.9 connesso su com4 Scheda tipo 1"));
        // Told once, with what to do, and the serial board still found.
        QCOMPARE(a.messaggi.size(), std::size_t{1});
        QVERIFY(a.messaggi[0].find("70-vexameter.rules") != std::string::npos);
        QCOMPARE(a.p->hid(), nullptr);
    }

    void avvio_con_scheda_seriale() {
        Avvio a;
        a.scheda_seriale(7);
        QCOMPARE(a.avvia(), EsitoAvvio::Seriale);
        QCOMPARE(a.titolo(), QStringLiteral("VEXA METER 1.3.9 connesso su com7 Scheda tipo 1"));
        QVERIFY(a.p->porta().PortOpen());
        QCOMPARE(a.p->stato.timeout_attesa, int16_t{500});
        QVERIFY(a.p->seriale()->isHidden());
        QCOMPARE(a.p->seriale()->windowTitle(), QStringLiteral("Testing..."));
        QVERIFY(a.messaggi.empty());
        QCOMPARE(a.p->stato.tempo_campionamento, 100);
        // Stored as found, so the next start finds it at once.
        QCOMPARE(QSettings(QStringLiteral("vexameter"), QStringLiteral("vexameter"))
                     .value(QStringLiteral("Properties/CommPort"))
                     .toString(),
                 QStringLiteral("7"));
    }

    void avvio_senza_scheda() {
        Avvio a;
        QCOMPARE(a.avvia(), EsitoAvvio::NessunaScheda);
        QCOMPARE(a.titolo(), QStringLiteral("VEXA METER 1.3.9 non connesso"));
        QCOMPARE(a.messaggi.size(), std::size_t{1});
        QCOMPARE(a.messaggi[0], std::string(MSG_NESSUNA_SCHEDA));
        QCOMPARE(a.p->seriale()->Lbl_info->text(), QStringLiteral("Scheda non trovata!"));
        QCOMPARE(a.p->stato.scala_posizione, 0.0f);
        QVERIFY(!a.p->stato.acquisizione_in_corso);
        // The program opens all the same, and closes with nothing to stop.
        QTRY_VERIFY(a.p->principale().isVisible());
        a.p->seriale()->show();
        a.p->principale().close();
        QVERIFY(!a.p->principale().isVisible());
        QVERIFY(a.p->seriale()->isHidden());
        QCOMPARE(a.messaggi.size(), std::size_t{1});
    }

    void stesso_errore_una_volta_per_collegamento() {
        Avvio a;
        a.scheda_seriale(3);
        a.avvia();
        QVERIFY(a.messaggi.empty());
        IServizi& sv = a.p->servizi();
        sv.messaggio("Porta in errore", Icona::Esclamazione, "");
        sv.messaggio("Porta in errore", Icona::Esclamazione, "");
        sv.messaggio("Altro errore", Icona::Esclamazione, "");
        QCOMPARE(a.messaggi.size(), std::size_t{2});
        // A new connection may meet the same trouble: the coach hears of it again.
        a.p->stato.stato_connessione = " connesso su com4";
        sv.messaggio("Porta in errore", Icona::Esclamazione, "");
        QCOMPARE(a.messaggi.size(), std::size_t{3});
    }

    void apertura() {
        QCOMPARE(testo_versione(1, 3, 9), QStringLiteral("Versione 1.3.9"));
        {
            // One second later: main window, then the settings.
            std::vector<std::string> visti;
            auto* f = new frm_apertura(1, 0, 0);
            f->mostra_principale = [&] { visti.push_back("principale"); };
            f->mostra_impostazioni = [&] { visti.push_back("impostazioni"); };
            f->show();
            QCOMPARE(f->lblVersion->text(), QStringLiteral("Versione 1.0.0"));
            QCOMPARE(f->lblProductName->text(), QStringLiteral("Vexa Meter"));
            QTRY_COMPARE(visti.size(), std::size_t{2});
            QCOMPARE(visti[0], std::string("principale"));
            QCOMPARE(visti[1], std::string("impostazioni"));
        }
        {
            // A key first: the main window only, and the timer cannot add the settings later.
            std::vector<std::string> visti;
            QPointer<frm_apertura> f = new frm_apertura(1, 0, 0);
            f->mostra_principale = [&] { visti.push_back("principale"); };
            f->mostra_impostazioni = [&] { visti.push_back("impostazioni"); };
            f->show();
            QTest::keyClick(f.data(), Qt::Key_Space);
            QCOMPARE(visti.size(), std::size_t{1});
            attendi(1300);
            QCOMPARE(visti.size(), std::size_t{1});
            QVERIFY(f.isNull()); // closed and deleted
        }
        {
            // A shorter interval still closes once a second has gone by.
            int principale = 0;
            auto* f = new frm_apertura(1, 0, 0);
            f->mostra_principale = [&] { ++principale; };
            f->Timer1->setInterval(100);
            QTRY_COMPARE_WITH_TIMEOUT(principale, 1, 3000);
        }
    }

    void menu_e_chiusura() {
        Avvio a;
        a.avvia();
        Frm_main& m = a.p->principale();
        QTRY_VERIFY(m.isVisible());
        // "Apri..." is there between acquisitions, not during one.
        emit m.mnuFile->aboutToShow();
        QVERIFY(m.mnuFileApri->isEnabled());
        a.p->stato.acquisizione_in_corso = true;
        emit m.mnuFile->aboutToShow();
        QVERIFY(!m.mnuFileApri->isEnabled());
        a.p->stato.acquisizione_in_corso = false;
        QVERIFY(!m.mnuHelpInformazioni->isEnabled());

        // The stopwatch from the menu and from "CRONO": one window, raised.
        m.mnuStrumentiCronometro->trigger();
        Frm_crono* crono = a.p->cronometro();
        QVERIFY(crono && crono->isVisible());
        QTest::mouseClick(m.cmd()->Button_Crono, Qt::LeftButton);
        QCOMPARE(a.p->cronometro(), crono);
        // A click on the repetitions graph opens the editor on it.
        m.grafici()->Grafico_Click(1);
        QVERIFY(a.p->editor_grafici().isVisible());
        QCOMPARE(a.p->editor_grafici().grafico_scelto(), int16_t{1});
        QCOMPARE(m.mnuVisualizzaGrafico->text(), QStringLiteral("Grafico ripetizioni && tempo"));
        QVERIFY(m.mnuVisualizzaGrafico->isChecked());
        m.mnuVisualizzaRipetizioni->trigger();
        QVERIFY(m.mnuVisualizzaRipetizioni->isChecked());
        QVERIFY(!m.mnuVisualizzaGrafico->isChecked());
        QVERIFY(m.grafici()->Grafico[0]->isHidden());
        m.mnuVisualizzaTempo->trigger();
        QVERIFY(m.mnuVisualizzaTempo->isChecked());
        QVERIFY(m.grafici()->Grafico[1]->isHidden());
        QVERIFY(!m.grafici()->Grafico[0]->isHidden());
        m.mnuVisualizzaGrafico->trigger();
        QVERIFY(m.mnuVisualizzaGrafico->isChecked());
        QVERIFY(!m.mnuVisualizzaRipetizioni->isChecked() && !m.mnuVisualizzaTempo->isChecked());

        // Resizing lays the panels out again, minimised included.
        m.resize(900, 700);
        QTRY_COMPARE(m.cmd()->y(), m.grafici()->y() + m.grafici()->height());
        m.centralWidget()->resize(0, 0);
        m.riposiziona_pannelli();
        m.resize(1000, 760);
        m.riposiziona_pannelli();
        QVERIFY(m.grafici()->height() > 0);

        // Closing while recording: recording off, its folder made, nothing refused.
        m.cmd()->Button_Memo->imposta_valore(true);
        QVERIFY(a.p->stato.registrazione_attiva);
        const QString auto_ = QDir(a.p->cartella_programma()).filePath(QStringLiteral("misure_auto"));
        QVERIFY(!QDir(auto_).exists());
        m.mnuFileEsci->trigger();
        QVERIFY(!m.isVisible());
        QVERIFY(!a.p->stato.registrazione_attiva);
        QVERIFY(!m.cmd()->Button_Memo->valore());
        QVERIFY(QDir(auto_).exists());
    }

    void indici_vbt_dal_menu_e_ritrovati_al_riavvio() {
        Avvio a;
        a.avvia();
        Frm_main& m = a.p->principale();
        QTRY_VERIFY(m.isVisible());
        QVERIFY(!a.p->indici_vbt());
        QCOMPARE(m.mnuVisualizzaIndici_vbt->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_I));
        m.mnuVisualizzaIndici_vbt->trigger();
        Frm_vbt* f = a.p->indici_vbt();
        QVERIFY(f && f->isVisible());
        // Open when the program ends: open again at the next start.
        m.close();
        a.p.reset();
        a.avvia();
        QTRY_VERIFY_WITH_TIMEOUT(a.p->indici_vbt() && a.p->indici_vbt()->isVisible(), 5000);
        // Closed by the coach: not at the next start.
        a.p->indici_vbt()->close();
        a.p->principale().close();
        a.p.reset();
        a.avvia();
        QTRY_VERIFY_WITH_TIMEOUT(a.p->principale().isVisible(), 5000);
        QVERIFY(!a.p->indici_vbt());
    }

    void impostazioni_scelte_e_ritrovate_al_riavvio() {
        Avvio a;
        QCOMPARE(a.avvia(), EsitoAvvio::NessunaScheda);
        // The splash goes after a second, then the settings window comes up.
        QTRY_VERIFY_WITH_TIMEOUT(a.p->impostazioni() && a.p->impostazioni()->isVisible(), 5000);
        Frm_utente* u = a.p->impostazioni();
        std::vector<QString> risposte = {"Squadra A", "Mario Rossi", "80", "squat", "1000", "110", "90", "100"};
        std::size_t prossima = 0;
        u->chiedi_valore = [&](const QString&) -> std::optional<QString> { return risposte.at(prossima++); };
        for (int riga = 0; riga < 8; ++riga) u->Cmd_add_Click(riga);
        u->Cmd_ok_Click();
        QTRY_VERIFY(!a.p->impostazioni());

        const Stato& s = a.p->stato;
        QCOMPARE(QString::fromStdString(s.nome_atleta), QStringLiteral("Mario Rossi"));
        QCOMPARE(s.carico_kg, 80.0f);
        QCOMPARE(s.vel_max, 1000.0f);
        QCOMPARE(s.ampiezza_min, 100.0f);
        const QDir atleta(QDir(a.p->cartella_programma()).filePath(QStringLiteral("Squadra A/Mario Rossi")));
        QVERIFY(atleta.exists(QStringLiteral("Mario Rossi.cfg")));
        QCOMPARE(QDir(QString::fromStdString(s.cartella_atleta)).canonicalPath(), atleta.canonicalPath());
        // OK set the velocity scales through the (hidden) graph editor.
        QCOMPARE(a.p->principale().grafici()->Slide->massimo(), 1200.0);
        QVERIFY(!a.p->editor_grafici().isVisible());
        QVERIFY(a.p->principale().intestazione()->findChildren<QLabel*>().size() > 0);

        // A new run finds the same selection once the window is confirmed.
        a.p.reset();
        QCOMPARE(a.avvia(), EsitoAvvio::NessunaScheda);
        a.p->stato.vel_max = 0;
        QTRY_VERIFY_WITH_TIMEOUT(a.p->impostazioni() && a.p->impostazioni()->isVisible(), 5000);
        u = a.p->impostazioni();
        QCOMPARE(u->txt_utente[0]->currentText(), QStringLiteral("Squadra A"));
        QCOMPARE(u->txt_utente[1]->currentText(), QStringLiteral("Mario Rossi"));
        QCOMPARE(u->txt_utente[2]->currentText(), QStringLiteral("80"));
        QCOMPARE(u->txt_utente[4]->currentText(), QStringLiteral("1000"));
        u->Cmd_ok_Click();
        QCOMPARE(a.p->stato.vel_max, 1000.0f);
        QCOMPARE(QString::fromStdString(a.p->stato.esercizio), QStringLiteral("squat"));

        // The menu item opens it again; a second request raises the same window.
        a.p->principale().mnuImpostazioniConfigura->trigger();
        Frm_utente* aperta = a.p->impostazioni();
        QVERIFY(aperta && aperta->isVisible());
        a.p->principale().mnuImpostazioniConfigura->trigger();
        QCOMPARE(a.p->impostazioni(), aperta);
        aperta->Cmd_annulla_Click();
        QTRY_VERIFY(!a.p->impostazioni());
    }

    void registrazione_salvata_una_volta_per_fermata_e_riaperta() {
        Avvio a;
        a.avvia_con_serie_seriale(40);
        Frm_main& m = a.p->principale();
        Frm_cmd* c = m.cmd();
        // No athlete confirmed yet: the files go to the recording folder.
        const QDir auto_(QDir(a.p->cartella_programma()).filePath(QStringLiteral("misure_auto")));
        auto serie = [&](auto ferma) {
            QSignalSpy fine(a.scheda.get(), &sim::SchedaSimulata::flusso_finito);
            QTest::mouseClick(c->Button_start, Qt::LeftButton);
            QVERIFY(a.p->stato.acquisizione_in_corso);
            QVERIFY(fine.wait(30000));
            attendi(300);
            ferma();
            attendi(200);
        };

        QTest::mouseClick(c->Button_Memo, Qt::LeftButton);
        QVERIFY(a.p->stato.registrazione_attiva);
        serie([&] { QTest::mouseClick(c->Button_start, Qt::LeftButton); });
        const auto righe_registrate = a.p->righe();
        QCOMPARE(righe_registrate.size(), std::size_t{3});
        QCOMPARE(a.p->file_salvati().size(), std::size_t{2});
        const QString intero = a.p->file_salvati()[0];
        QCOMPARE(QFileInfo(intero).absolutePath(), auto_.absolutePath());
        QVERIFY(a.p->file_salvati()[1].endsWith(QStringLiteral(" dati.csv")));
        // The set is in the history once saved, with the board that measured it.
        auto nello_storico = [&] {
            Storico storico(a.p->cartella_programma());
            storico.apri();
            return storico.sessioni({{}, {}, {}, {}});
        };
        QTRY_COMPARE_WITH_TIMEOUT(nello_storico().size(), std::size_t{1}, 10000);
        QCOMPARE(nello_storico()[0].ripetizioni, 3);
        QCOMPARE(nello_storico()[0].file_intero, QStringLiteral("misure_auto/") + QFileInfo(intero).fileName());
        QVERIFY(nello_storico()[0].tipo_scheda.has_value());
        QFile f(intero);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray testo = f.readAll();
        QVERIFY(testo.startsWith("Vexa01;\r\nTempo;Posizione;Velocita;dt\r\n"));
        QCOMPARE(testo.count("\r\n"), a.p->stato.n_campioni + 2);

        // "Reset Pos" ends the next one: saved once, under a name of its own.
        serie([&] { QTest::mouseClick(c->Button_Segnale, Qt::LeftButton); });
        QCOMPARE(a.p->file_salvati().size(), std::size_t{4});
        QVERIFY(a.p->file_salvati()[2] != intero);
        QVERIFY(!c->Button_start->valore());

        // Recording off: a stop saves nothing.
        QTest::mouseClick(c->Button_Memo, Qt::LeftButton);
        serie([&] { QTest::mouseClick(c->Button_start, Qt::LeftButton); });
        QCOMPARE(a.p->file_salvati().size(), std::size_t{4});
        // Each recorded stop: the whole trial, its results and their velocity-training figures.
        QCOMPARE(auto_.entryList(QDir::Files).size(), 6);

        // "Apri..." brings the first set back as it was listed.
        a.p->apri_prova(intero);
        QVERIFY(a.messaggi.empty());
        QCOMPARE(a.p->righe(), righe_registrate);

        // Saved trials leave no journal behind.
        QCOMPARE(QDir(cartella_giornali(a.p->cartella_programma())).entryList(QDir::Files).size(), 0);

        // Closing during a recorded acquisition stops the board and saves it.
        QTest::mouseClick(c->Button_Memo, Qt::LeftButton);
        QSignalSpy fine(a.scheda.get(), &sim::SchedaSimulata::flusso_finito);
        QTest::mouseClick(c->Button_start, Qt::LeftButton);
        QVERIFY(fine.wait(30000));
        m.close();
        attendi(200);
        QCOMPARE(a.p->file_salvati().size(), std::size_t{6});
        QCOMPARE(a.scheda->comandi().back(), QStringLiteral("$T"));
        QVERIFY(a.messaggi.empty());
    }

    void apri_rifiuta_e_resta_com_era() {
        Avvio a;
        QCOMPARE(a.avvia(), EsitoAvvio::NessunaScheda);
        a.messaggi.clear();
        QTemporaryDir d;
        const QString pesi = d.filePath(QStringLiteral("vecchia.txt"));
        QFile f(pesi);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("pesi01\r\n25\r\n1.5,2.5\r\n");
        f.close();
        // The dialog is asked for a file; cancelled, nothing happens.
        emit a.p->principale().mnuFile->aboutToShow();
        QVERIFY(a.p->principale().mnuFileApri->isEnabled());
        a.p->principale().mnuFileApri->trigger();
        QVERIFY(a.messaggi.empty());
        QVERIFY(a.p->apri_prova(pesi).isEmpty());
        QCOMPARE(a.p->stato.tempo_campionamento, 25);
        const QString altro = d.filePath(QStringLiteral("altro.csv"));
        QFile g(altro);
        QVERIFY(g.open(QIODevice::WriteOnly));
        g.write("PESI01\r\n25\r\n");
        g.close();
        QCOMPARE(a.p->apri_prova(altro), QStringLiteral(" File non compatibile!"));
        QCOMPARE(a.messaggi.size(), std::size_t{1});
    }

    void dialoghi_dei_file_di_prova() {
        Avvio a;
        QCOMPARE(a.avvia(), EsitoAvvio::NessunaScheda);
        a.messaggi.clear();
        a.p->stato.esercizio = "squat";
        QTemporaryDir d;
        a.p->stato.cartella_atleta = d.path().toStdString();
        struct Chiesto {
            bool salva;
            QString titolo, cartella, proposto, filtro, estensione;
        };
        std::vector<Chiesto> chiesti;
        QString risposta;
        a.chiedi_file = [&](bool salva, const QString& t, const QString& c, const QString& p, const QString& f,
                            const QString& e) {
            chiesti.push_back({salva, t, c, p, f, e});
            return risposta;
        };
        Frm_main& m = a.p->principale();

        // Cancelled: nothing written.
        m.mnuFileSalva_intero->trigger();
        m.mnuFileSalva_parziale->trigger();
        QCOMPARE(QDir(d.path()).entryList(QDir::Files).size(), 0);
        QCOMPARE(chiesti.size(), std::size_t{2});
        QCOMPARE(chiesti[0].titolo, QStringLiteral("Salva file intero con nome"));
        QCOMPARE(chiesti[0].cartella, d.path());
        QCOMPARE(chiesti[0].estensione, QStringLiteral("csv"));
        QVERIFY(QRegularExpression(QStringLiteral("^\\d{4}  \\S+ \\d{2}  \\d{1,2}\\D\\d{2}\\D\\d{1,2}\\.csv$"))
                    .match(chiesti[0].proposto)
                    .hasMatch());
        QCOMPARE(chiesti[1].titolo, QStringLiteral("Salva dati  con nome"));
        QCOMPARE(chiesti[1].filtro, QStringLiteral("*.csv"));
        QCOMPARE(chiesti[1].estensione, QStringLiteral("csv"));
        QVERIFY(QRegularExpression(QStringLiteral("^squat \\d{4} \\d{2} \\d{2} \\d{2} \\d{2} \\d{2}$"))
                    .match(chiesti[1].proposto)
                    .hasMatch());

        // Chosen: an empty trial gives the two header lines of each layout; a
        // name typed without an extension gets ".csv", and the dialog keeps
        // the filter it was last given.
        risposta = d.filePath(QStringLiteral("intero"));
        m.mnuFileSalva_intero->trigger();
        QCOMPARE(chiesti.back().filtro, QStringLiteral("*.csv"));
        risposta = d.filePath(QStringLiteral("dati"));
        m.mnuFileSalva_parziale->trigger();
        risposta.clear();
        emit m.mnuFile->aboutToShow();
        m.mnuFileApri->trigger();
        QCOMPARE(chiesti.size(), std::size_t{5});
        QCOMPARE(chiesti.back().filtro, QStringLiteral("*.csv"));
        QFile intero(d.filePath(QStringLiteral("intero.csv"))), dati(d.filePath(QStringLiteral("dati.csv")));
        QVERIFY(intero.open(QIODevice::ReadOnly) && dati.open(QIODevice::ReadOnly));
        QCOMPARE(intero.readAll(), QByteArray("Vexa01;\r\nTempo;Posizione;Velocita;dt\r\n"));
        const QByteArray r = dati.readAll();
        QCOMPARE(r.count("\r\n"), 2);
        QVERIFY(r.contains("Nome;Esercizio;Carico;N\xB0Rip;"));
        QVERIFY(a.messaggi.empty());

        // A folder that is not there: the coach is told, nothing is pretended.
        risposta = d.filePath(QStringLiteral("manca/dati.csv"));
        m.mnuFileSalva_parziale->trigger();
        QCOMPARE(a.messaggi.size(), std::size_t{1});
    }

    void registrazione_sopravvive_a_sigkill() {
        // The program recording a real-time set is killed outright near its
        // end; started again, it saves what it had recorded.
        Avvio a;
        sim::OpzioniScheda o;
        QVERIFY(sim::leggi_descrizione("ripetizioni=6", o.serie).empty());
        a.scheda_seriale(2, o);
        QProcess figlio;
        figlio.start(QStringLiteral(VEXA_AIUTO_REGISTRAZIONE), {a.cartella.path()});
        const auto& record = a.scheda->serie().record;
        QTRY_VERIFY_WITH_TIMEOUT(a.scheda->record_inviati() > record.size() * 4 / 5, 60000);
        figlio.kill();
        QVERIFY(figlio.waitForFinished(5000));
        const std::size_t inviati = a.scheda->record_inviati();
        a.scheda->chiudi();
        // The records the board had sent a second before.
        const ScalaScheda sc = scala_per_tipo(1);
        std::vector<double> istanti;
        double t = 0;
        for (const auto& r : record) istanti.push_back(t += std::abs(r.intervallo) * double(sc.tempo));
        const auto un_secondo_prima = static_cast<std::size_t>(
            std::upper_bound(istanti.begin(), istanti.end(), istanti[inviati - 1] - 1000) - istanti.begin());

        QCOMPARE(a.avvia(), EsitoAvvio::NessunaScheda);
        QCOMPARE(a.messaggi.size(), std::size_t{1});
        QVERIFY2(a.messaggi[0].find("Recuperata la prova interrotta di «Mario Rossi»") != std::string::npos,
                 a.messaggi[0].c_str());
        const QDir atleta(QDir(a.p->cartella_programma()).filePath(QStringLiteral("Squadra/Mario Rossi")));
        const QStringList file = atleta.entryList({QStringLiteral("* recuperata*.csv")}, QDir::Files, QDir::Name);
        // " recuperata dati vbt.csv", " recuperata dati.csv", then " recuperata.csv"
        QCOMPARE(file.size(), 3);
        QVERIFY(QDir(cartella_giornali(a.p->cartella_programma())).entryList(QDir::Files).isEmpty());
        // The recovered set is in the history, as a saved one would be.
        auto nello_storico = [&] {
            Storico storico(a.p->cartella_programma());
            storico.apri();
            return storico.sessioni({{QStringLiteral("Squadra"), QStringLiteral("Mario Rossi")}, {}, {}, {}});
        };
        QTRY_COMPARE_WITH_TIMEOUT(nello_storico().size(), std::size_t{1}, 10000);
        QCOMPARE(nello_storico()[0].file_intero, QStringLiteral("Squadra/Mario Rossi/") + file[2]);

        // Every sample from the first counted top up to the last flush, as the
        // board sent it; every repetition moves alike, so all of it must match.
        QFile f(atleta.filePath(file[2]));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const auto campioni = std::get<ProvaLetta>(leggi_file_prova(f.readAll().toStdString())).campioni;
        QVERIFY(campioni.size() > 100);
        auto da_qui = [&](std::size_t da) {
            for (std::size_t i = 0; i < campioni.size(); ++i) {
                if (da + i >= inviati) return false;
                const auto& r = record[da + i];
                if (formatta(posizione_mm(r.posizione, sc.posizione), 0) != formatta(campioni[i].posizione, 0) ||
                    formatta(intervallo_ms(r.intervallo, sc.tempo) / 1000, 5) != formatta(campioni[i].intervallo, 5))
                    return false;
            }
            return true;
        };
        std::size_t da = 0;
        while (da < inviati && !da_qui(da)) ++da;
        QVERIFY(da < inviati);
        QVERIFY2(da + campioni.size() >= un_secondo_prima,
                 qPrintable(QStringLiteral("fino al record %1 di %2").arg(da + campioni.size()).arg(inviati)));
    }

    void serie_misurata_con_la_scheda_simulata() {
        Avvio a;
        a.avvia_con_serie_seriale(20);
        Frm_main& m = a.p->principale();
        QSignalSpy fine(a.scheda.get(), &sim::SchedaSimulata::flusso_finito);

        QTest::mouseClick(m.cmd()->Button_start, Qt::LeftButton);
        QVERIFY(a.p->stato.acquisizione_in_corso);
        QCOMPARE(m.cmd()->Button_start->testo_mostrato(), QStringLiteral("LAVORO"));
        QVERIFY(fine.wait(30000));
        attendi(300);
        // The first top starts the time base: four repetitions, three rows.
        QCOMPARE(a.p->righe().size(), std::size_t{3});
        QCOMPARE(a.p->stato.indici_vbt.size(), std::size_t{3});
        QTRY_VERIFY(m.grafici()->Grafico[0]->punti(6).size() > 100);
        QVERIFY(m.grafici()->Num_vel->valore() > 0);
        QTRY_VERIFY(m.intestazione()->Lbl_spostamento->text().startsWith(QStringLiteral("Spost(cm)=")));

        // Stop from the switch: the board gets "$T", the rows stay.
        QTest::mouseClick(m.cmd()->Button_start, Qt::LeftButton);
        QVERIFY(!a.p->stato.acquisizione_in_corso);
        QTRY_COMPARE(a.scheda->comandi().back(), QStringLiteral("$T"));
        QCOMPARE(a.p->righe().size(), std::size_t{3});
        QVERIFY(a.messaggi.empty());

        // Closing while acquiring stops the board before the window goes.
        QTest::mouseClick(m.cmd()->Button_start, Qt::LeftButton);
        QVERIFY(a.p->stato.acquisizione_in_corso);
        const auto comandi = a.scheda->comandi().size();
        m.close();
        QVERIFY(!a.p->stato.acquisizione_in_corso);
        QTRY_COMPARE(a.scheda->comandi().size(), comandi + 1);
        QCOMPARE(a.scheda->comandi().back(), QStringLiteral("$T"));
    }
};

QTEST_MAIN(TestProgramma)
#include "test_programma.moc"
