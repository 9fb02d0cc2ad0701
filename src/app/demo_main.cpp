// vexameter-demo: what a coach sees the meter do with a board on a serial port,
// against the board simulator on a pseudo-terminal. The simulator is linked as
// com7; the meter probes its stored port, searches ports 1 to 30 in the port
// settings window, finds the board, reads its type and information block,
// starts an acquisition, lists each repetition as the analysis publishes it,
// and stops. Settings and ports live in a temporary folder, never the user's.
#include "analysis/formato.h"
#include "analysis/vista_memoria.h"
#include "device/frm_seriale.h"
#include "device/porta_seriale.h"
#include "device/protocollo.h"
#include "device/servizi_console.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLocale>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

using namespace vexa;

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("vexameter"));
    QCoreApplication::setApplicationName(QStringLiteral("vexameter"));
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    QString velocita = QStringLiteral("4"), serie = QStringLiteral("ripetizioni=6,perdita=4,rumore=0.1");
    QString tipo = QStringLiteral("1");
    bool mostra = false;
    const QStringList a = app.arguments();
    for (int i = 1; i < a.size(); ++i) {
        if (a[i] == QLatin1String("--speed") && i + 1 < a.size()) velocita = a[++i];
        else if (a[i] == QLatin1String("--set") && i + 1 < a.size()) serie = a[++i];
        else if (a[i] == QLatin1String("--board-type") && i + 1 < a.size()) tipo = a[++i];
        else if (a[i] == QLatin1String("--show")) mostra = true;
        else {
            std::fprintf(stderr, "uso: vexameter-demo [--speed X] [--board-type N] [--set DESCR] [--show]\n");
            return 2;
        }
    }

    QTemporaryDir cartella;
    if (!cartella.isValid()) {
        std::fprintf(stderr, "vexameter-demo: impossibile creare una cartella temporanea\n");
        return 1;
    }
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, cartella.path());
    const QString porte = cartella.filePath(QStringLiteral("ports"));
    QDir().mkpath(porte);

    // The board: a separate process on a pseudo-terminal, linked as com7.
    QProcess scheda;
    QByteArray registro; // what the simulator logs, looked at for the end of the set
    scheda.start(QStringLiteral(VEXA_SIMULATORE),
                 {QStringLiteral("--port"), QStringLiteral("7"), QStringLiteral("--ports-dir"), porte,
                  QStringLiteral("--board-type"), tipo, QStringLiteral("--speed"), velocita,
                  QStringLiteral("--set"), serie});
    if (!scheda.waitForStarted(5000)) {
        std::fprintf(stderr, "vexameter-demo: il simulatore non parte\n");
        return 1;
    }
    for (int i = 0; i < 100 && !QFileInfo::exists(QDir(porte).filePath(QStringLiteral("com7"))); ++i) attendi_eventi(50);
    std::printf("%s", scheda.readAllStandardOutput().constData());

    Stato s;
    s.titolo_programma = "VEXA METER 1.0.0";
    s.seriale_attiva = true;
    s.ampiezza_min = 100;
    s.vel_max = 520;
    s.limite_sup = 110;
    s.limite_inf = 90;
    ServiziConsole servizi;
    ProvaMemoria prova;
    Analizzatore analisi(s, prova.vista);
    analisi.separatore = QLocale::system().decimalPoint().at(0).toLatin1();
    PortaSeriale porta;
    porta.imposta_cartella_porte(porte);
    Protocollo protocollo(s, porta, servizi);
    protocollo.imposta_analisi(&analisi);
    protocollo.azzera_prova = [&] { azzera_prova(s, prova.vista); };

    // Start-up on the serial link: the stored port, then the search.
    frm_seriale finestra(s, porta, protocollo, servizi);
    finestra.setWindowTitle(QStringLiteral("Testing..."));
    QTimer eco;
    QString ultimo_info;
    QObject::connect(&eco, &QTimer::timeout, [&] {
        if (finestra.Lbl_info->text() != ultimo_info) {
            ultimo_info = finestra.Lbl_info->text();
            std::printf("[Lbl_info] %s\n", qPrintable(ultimo_info));
        }
    });
    eco.start(10);
    finestra.Leggi_impostazioni();
    if (!protocollo.Verifica_porta()) {
        if (mostra) finestra.show();
        finestra.Cmd_Auto_Click();
    }
    eco.stop();
    std::printf("[Lbl_info] %s\n", qPrintable(finestra.Lbl_info->text()));
    finestra.hide();
    if (s.stato_connessione == " non connesso") {
        std::printf("Nessuna scheda trovata.\n");
        return 1;
    }
    protocollo.Ferma_acquisizione();
    protocollo.Rileva_tipo_scheda();
    protocollo.Leggi_info_scheda();
    std::printf("[titolo] %s%s\n", s.titolo_programma.c_str(), s.stato_connessione.c_str());
    std::printf("Tempo di campionamento: %d centesimi di secondo\n", s.tempo_campionamento);

    std::printf("Acquisizione avviata.\n");
    protocollo.Avvia_acquisizione();
    std::printf("N°Rip;Tempo;Durata;Spost.;Vmedia;Vmax;TdiVmax;SdiVmax;Durata;Spost.;Vmedia;Vmax;TdiVmax;"
                "SdiVmax;NOTA;colore\n");
    int stampate = 0;
    QElapsedTimer orologio;
    orologio.start();
    while (s.acquisizione_in_corso && orologio.elapsed() < 120000) {
        attendi_eventi(50);
        for (; stampate < prova.righe(); ++stampate)
            std::printf("%s;%s   %s\n", prova.riga(stampate).c_str(),
                        nome_colore(prova.num_vel.storia_colori.at(static_cast<std::size_t>(stampate))),
                        servizi.etichetta.c_str());
        // The board has sent the whole set once it stays quiet.
        registro += scheda.readAllStandardError();
        if (stampate > 0 && registro.contains("trasmessa per intero")) break;
    }
    attendi_eventi(300);
    protocollo.Ferma_acquisizione();
    for (; stampate < prova.righe(); ++stampate)
        std::printf("%s;%s\n", prova.riga(stampate).c_str(),
                    nome_colore(prova.num_vel.storia_colori.at(static_cast<std::size_t>(stampate))));
    std::printf("Acquisizione fermata: %d ripetizioni nella lista, %s s di movimento.\n", prova.righe(),
                formatta(s.tempo_movimento, 2, analisi.separatore).c_str());
    scheda.terminate();
    scheda.waitForFinished(3000);
    return prova.righe() > 0 ? 0 : 1;
}
