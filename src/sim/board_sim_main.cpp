// vexa-board-sim: the board in software, on a pseudo-terminal linked as comN in
// the program's ports folder, so the meter finds it as it finds the hardware.
#include "board_sim.h"

#include <QCoreApplication>
#include <QDir>
#include <QSocketNotifier>
#include <QStandardPaths>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const char* USO =
    "uso: vexa-board-sim [--port N] [--ports-dir DIR] [--board-type N] [--set DESCR]\n"
    "                    [--speed X] [--sampling N] [--mask N] [--fault GUASTO] [--fault-at F]\n"
    "                    [--fault-bytes N]\n"
    "\n"
    "Apre un terminale virtuale, lo collega come DIR/comN e risponde come la scheda.\n"
    "  --port N        numero della porta (predefinito 1)\n"
    "  --ports-dir DIR cartella dei collegamenti (predefinita: 'ports' nella cartella del programma)\n"
    "  --board-type N  tipo di scheda restituito a \"$D\" (predefinito 1)\n"
    "  --set DESCR     la serie trasmessa tra \"$F\" e \"$T\", come in vexameter-replay\n"
    "                  (ripetizioni=6,ampiezza=500,vconc=500,vecc=400,...)\n"
    "  --speed X       fattore di velocita' del flusso (predefinito 1: tempo reale)\n"
    "  --sampling N    tempo di campionamento del blocco informazioni, centesimi di s (100)\n"
    "  --mask N        maschera dei canali del blocco informazioni (1)\n"
    "  --fault GUASTO  silent | bad-first-byte | short-probe | garbage | drop | hangup\n"
    "  --fault-at F    frazione del flusso dopo cui colpiscono garbage, drop e hangup (0.5)\n"
    "  --fault-bytes N byte spuri che garbage inserisce, o che drop toglie, da 1 a 64 (5)\n"
    "Termina con Ctrl+C o SIGTERM, togliendo il collegamento.\n";

int segnale_fd[2] = {-1, -1};

void al_segnale(int) {
    const char c = 1;
    [[maybe_unused]] const auto n = ::write(segnale_fd[1], &c, 1);
}

int errore(const QString& testo) {
    std::fprintf(stderr, "vexa-board-sim: %s\n", qPrintable(testo));
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // The same names as the meter, so the default ports folder is the one it reads.
    QCoreApplication::setOrganizationName(QStringLiteral("vexameter"));
    QCoreApplication::setApplicationName(QStringLiteral("vexameter"));

    vexa::sim::OpzioniScheda op;
    int porta = 1;
    QString cartella = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/ports");
    const QStringList a = app.arguments();
    for (int i = 1; i < a.size(); ++i) {
        const QString& o = a.at(i);
        if (o == QLatin1String("--help") || o == QLatin1String("-h")) {
            std::fputs(USO, stdout);
            return 0;
        }
        if (i + 1 >= a.size()) return errore(QStringLiteral("opzione sconosciuta o senza valore: %1\n%2").arg(o, QLatin1String(USO)));
        const QString v = a.at(++i);
        bool ok = true;
        if (o == QLatin1String("--port")) {
            porta = v.toInt(&ok);
            ok = ok && porta >= 1 && porta <= 255;
        } else if (o == QLatin1String("--ports-dir")) {
            cartella = v;
        } else if (o == QLatin1String("--board-type")) {
            op.tipo = v.toInt(&ok);
            ok = ok && op.tipo >= 0 && op.tipo <= 255;
        } else if (o == QLatin1String("--set")) {
            const std::string e = vexa::sim::leggi_descrizione(v.toStdString(), op.serie);
            if (!e.empty()) return errore(QString::fromStdString(e));
        } else if (o == QLatin1String("--speed")) {
            op.velocita = v.toDouble(&ok);
            ok = ok && op.velocita > 0;
        } else if (o == QLatin1String("--sampling")) {
            op.tempo_campionamento = v.toInt(&ok);
            ok = ok && op.tempo_campionamento >= 0 && op.tempo_campionamento <= 65535;
        } else if (o == QLatin1String("--mask")) {
            const int m = v.toInt(&ok);
            ok = ok && m >= 0 && m <= 255;
            op.maschera_canali = static_cast<uint8_t>(m);
        } else if (o == QLatin1String("--fault")) {
            ok = vexa::sim::leggi_guasto(v, op.guasto);
        } else if (o == QLatin1String("--fault-bytes")) {
            op.byte_guasto = v.toInt(&ok);
            ok = ok && op.byte_guasto >= 1 && op.byte_guasto <= 64;
        } else if (o == QLatin1String("--fault-at")) {
            op.punto_guasto = v.toDouble(&ok);
            ok = ok && op.punto_guasto >= 0 && op.punto_guasto <= 1;
        } else {
            return errore(QStringLiteral("opzione sconosciuta: %1\n%2").arg(o, QLatin1String(USO)));
        }
        if (!ok) return errore(QStringLiteral("valore non valido per %1: %2").arg(o, v));
    }
    // A set whose steps do not fit the board's fields would wrap, not fail.
    if (const std::string e = vexa::sim::verifica_serie(op.serie, op.tipo, vexa::Collegamento::Seriale); !e.empty())
        return errore(QString::fromStdString(e));

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, segnale_fd) != 0) return errore(QStringLiteral("socketpair non riuscito"));
    QSocketNotifier segnali(segnale_fd[0], QSocketNotifier::Read);
    QObject::connect(&segnali, &QSocketNotifier::activated, &app, [] { QCoreApplication::quit(); });
    struct sigaction sa {};
    sa.sa_handler = al_segnale;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGHUP, &sa, nullptr);

    vexa::sim::SchedaSimulata scheda(op);
    QString e;
    const QString collegamento = QDir(cartella).absoluteFilePath(QStringLiteral("com%1").arg(porta));
    // While the ports folder exists the meter numbers only its links; one we made
    // goes again when it is left empty, so the real adapters come back.
    const bool cartella_nuova = !QDir(cartella).exists();
    if (!scheda.apri(&e) || !scheda.collega(collegamento, &e)) return errore(e);
    std::printf("vexa-board-sim: scheda tipo %d collegata come %s -> %s\n", op.tipo, qPrintable(collegamento),
                qPrintable(scheda.terminale()));
    std::fflush(stdout);
    QObject::connect(&scheda, &vexa::sim::SchedaSimulata::comando_servito, [](const QString& c) {
        std::fprintf(stderr, "vexa-board-sim: comando %s\n", qPrintable(c));
    });
    QObject::connect(&scheda, &vexa::sim::SchedaSimulata::flusso_finito,
                     [] { std::fprintf(stderr, "vexa-board-sim: serie trasmessa per intero\n"); });
    QObject::connect(&scheda, &vexa::sim::SchedaSimulata::riagganciata, &app, [] {
        std::fprintf(stderr, "vexa-board-sim: linea chiusa a meta' flusso (guasto hangup)\n");
        QCoreApplication::quit();
    });

    const int esito = app.exec();
    scheda.chiudi();
    if (cartella_nuova) QDir().rmdir(cartella);
    std::printf("vexa-board-sim: terminata\n");
    return esito;
}
