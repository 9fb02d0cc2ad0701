// vexa-hid-demo: the USB HID link at work. A simulated board is plugged in,
// asked for its type, started, and streams a synthesised set; the demo prints
// the captions, the live label and every repetition the analysis lists, then
// stops the board and pulls it out. With --reale it waits for a real board
// instead and streams for the given time.
#include "device/hid/backend_reale.h"
#include "backend_simulato.h"
#include "device/hid/frm_hid.h"

#include "analysis/analisi.h"
#include "analysis/vista_memoria.h"
#include "device/errore_runtime.h"
#include "device/servizi_console.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char* USO =
    "uso: vexa-hid-demo [--board-type N] [--set DESCR] [--speed X] [--resta]\n"
    "     vexa-hid-demo --reale [--durata S]\n"
    "\n"
    "Senza --reale una scheda simulata (tipo N, predefinito 1) trasmette una serie\n"
    "sintetizzata via HID; --speed X la riproduce X volte piu' veloce del reale\n"
    "(predefinito 1); --resta lascia la finestra aperta alla fine.\n"
    "Con --reale si usa la scheda USB vera (attesa al massimo 60 secondi) e l'acquisizione\n"
    "dura S secondi (predefinito 30).\n"
    "DESCR come in vexameter-replay: ripetizioni=6,ampiezza=500,vconc=500,...\n";

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);

    int tipo = 1;
    double velocita = 1, durata_s = 30;
    bool reale = false, resta = false;
    std::string descrizione;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool ha_valore = i + 1 < argc;
        if (a == "--help" || a == "-h") {
            std::fputs(USO, stdout);
            return 0;
        } else if (a == "--board-type" && ha_valore) {
            tipo = std::atoi(argv[++i]);
        } else if (a == "--set" && ha_valore) {
            descrizione = argv[++i];
        } else if (a == "--speed" && ha_valore) {
            velocita = std::atof(argv[++i]);
        } else if (a == "--durata" && ha_valore) {
            durata_s = std::atof(argv[++i]);
        } else if (a == "--reale") {
            reale = true;
        } else if (a == "--resta") {
            resta = true;
        } else {
            std::fprintf(stderr, "vexa-hid-demo: argomento non valido: %s\n%s", a.c_str(), USO);
            return 2;
        }
    }
    vexa::sim::DescrizioneSerie serie;
    if (auto e = vexa::sim::leggi_descrizione(descrizione, serie); !e.empty()) {
        std::fprintf(stderr, "vexa-hid-demo: %s\n", e.c_str());
        return 2;
    }
    if (velocita <= 0 || tipo < 0 || tipo > 255) {
        std::fprintf(stderr, "vexa-hid-demo: --speed vuole un numero positivo, --board-type 0..255\n");
        return 2;
    }
    if (auto e = vexa::sim::verifica_serie(serie, tipo, vexa::Collegamento::Hid); !e.empty()) {
        std::fprintf(stderr, "vexa-hid-demo: %s\n", e.c_str());
        return 2;
    }

    vexa::Stato stato;
    stato.titolo_programma = "VEXA METER 1.0.0";
    stato.ampiezza_min = 100;
    stato.vel_max = 1000;
    stato.limite_sup = 110;
    stato.limite_inf = 90;
    vexa::ServiziConsole servizi;
    std::string stampata; // the live label as last printed
    vexa::ProvaMemoria prova;
    prova.grafico0.conserva_punti = false;
    vexa::Analizzatore analisi(stato, prova.vista);

    vexa::BackendHidSimulato* simulato = nullptr;
    std::unique_ptr<vexa::IBackendHid> backend;
    if (reale) {
        backend = std::make_unique<vexa::BackendHidReale>();
    } else {
        auto b = std::make_unique<vexa::BackendHidSimulato>();
        simulato = b.get();
        simulato->imposta_velocita(velocita);
        backend = std::move(b);
    }
    vexa::frm_hid finestra(stato, servizi, std::move(backend), analisi);
    analisi.separatore = finestra.separatore;
    finestra.setWindowTitle(QStringLiteral("Testing..HID"));
    finestra.show();

    // Prints the live label now and then, and each new row of the values list.
    int righe_stampate = 0;
    QTimer stampa;
    QObject::connect(&stampa, &QTimer::timeout, [&] {
        if (servizi.etichetta != stampata) {
            std::printf("[Lbl_spostamento] %s\n", servizi.etichetta.c_str());
            stampata = servizi.etichetta;
        }
        for (; righe_stampate < prova.righe(); ++righe_stampate)
            std::printf("[riga %d] %s\n", righe_stampate + 1, prova.riga(righe_stampate).c_str());
        std::fflush(stdout);
    });
    stampa.start(250);

    vexa::HandleHid scheda = 0;
    if (simulato) {
        vexa::attendi_eventi(300);
        std::printf("Collego la scheda simulata (tipo %d)...\n", tipo);
        scheda = simulato->collega(vexa::VID_SCHEDA, vexa::PID_SCHEDA, tipo);
        simulato->imposta_serie(scheda, serie);
    } else {
        std::printf("In attesa della scheda USB (vendor 0461, product 0020)...\n");
    }
    QElapsedTimer attesa;
    attesa.start();
    bool negato_detto = false;
    while (!stato.hid_attivo) {
        // The board is there but not ours to open: say so once, and keep
        // waiting for it to be plugged in again once the rule is in place.
        if (finestra.accesso_negato() && !negato_detto) {
            std::printf("Scheda USB trovata, ma l'accesso e' negato: installare la regola udev "
                        "70-vexameter.rules (vedere docs/hid.md), poi scollegare e ricollegare la scheda.\n");
            std::fflush(stdout);
        }
        negato_detto = finestra.accesso_negato();
        if (attesa.elapsed() > 60000) {
            std::printf("Nessuna scheda USB trovata in 60 secondi.\n");
            return 1;
        }
        vexa::attendi_eventi(50);
    }
    vexa::attendi_eventi(100); // the list change switches reading on
    finestra.hide();

    try {
        // Board type from the last report, 100 ms after asking for it.
        finestra.HID_invia_stringa("$D");
        vexa::attendi_eventi(100);
        const int rilevato = finestra.buffer_ricezione_hid()[2];
        const vexa::ScalaScheda sc = vexa::scala_per_tipo(rilevato);
        stato.scala_posizione = sc.posizione;
        stato.scala_tempo = sc.tempo;
        stato.stato_connessione += " Scheda tipo " + std::to_string(rilevato);
        servizi.imposta_titolo_principale(stato.titolo_programma + stato.stato_connessione);
        if (!sc.riconosciuto) servizi.messaggio("dispositivo non riconosciuto: DEFAULT TIPO 3!!", {}, {});

        // Start of acquisition on the USB link: stop, empty the trial, start.
        finestra.HID_invia_stringa("$T");
        vexa::azzera_prova(stato, prova.vista);
        stato.acquisizione_in_corso = true;
        stato.grafico_live = true;
        finestra.HID_invia_stringa("$F");
        vexa::azzera_tempi(stato);
        std::printf("Acquisizione avviata.\n");
    } catch (const vexa::ErroreRuntime& e) {
        servizi.messaggio(e.descrizione, vexa::Icona::Esclamazione, {});
        return 1;
    }

    bool finita = false;
    if (simulato) {
        QObject::connect(simulato, &vexa::BackendHidSimulato::serie_finita, [&] { finita = true; });
        while (!finita && stato.hid_attivo) vexa::attendi_eventi(50);
    } else {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < durata_s * 1000 && stato.hid_attivo) vexa::attendi_eventi(50);
    }
    vexa::attendi_eventi(300);
    stato.acquisizione_in_corso = false;
    try {
        if (stato.hid_attivo) finestra.HID_invia_stringa("$T");
    } catch (const vexa::ErroreRuntime& e) {
        servizi.messaggio(e.descrizione, vexa::Icona::Esclamazione, {});
    }
    vexa::attendi_eventi(300);
    std::printf("Acquisizione fermata: %d ripetizioni nella lista.\n", prova.righe());

    if (simulato) {
        std::printf("Scollego la scheda simulata...\n");
        simulato->scollega(scheda);
        vexa::attendi_eventi(100);
    }
    if (resta) {
        finestra.show();
        return app.exec();
    }
    return 0;
}
