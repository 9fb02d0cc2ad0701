// vexameter: the meter's desktop program.
//
//   vexameter                      the program, as a coach runs it
//   vexameter --dimostrazione      with a demonstration athlete (band and
//                                  minimum amplitude set; also put in the
//                                  settings store when that is still empty),
//                                  for trying it against the board simulator
//   vexameter --schermata FILE.png runs one set without anybody at the screen:
//                                  starts the acquisition once the main window
//                                  is up, stops it when the board has been
//                                  still for two seconds, prints the listed
//                                  rows, saves a picture of the main window
//                                  and exits (0 with rows, 1 without)
#include "frm_apertura.h"
#include "frm_main.h"
#include "programma.h"

#include "analysis/formato.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>

namespace {

const char* USO = "uso: vexameter [--dimostrazione] [--schermata FILE.png]\n";

void atleta_dimostrativo(vexa::Stato& s) {
    s.nome_atleta = "Atleta dimostrativo";
    s.esercizio = "Panca piana";
    s.carico_kg = 60;
    s.vel_max = 520;
    s.limite_sup = 110;
    s.limite_inf = 90;
    s.ampiezza_min = 100;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("vexameter"));
    QCoreApplication::setApplicationName(QStringLiteral("vexameter"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VEXA_VERSIONE));
    // Lets the desktop match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("vexameter"));
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    bool dimostrazione = false;
    QString schermata;
    const QStringList a = app.arguments();
    for (int i = 1; i < a.size(); ++i) {
        if (a[i] == QLatin1String("--dimostrazione")) {
            dimostrazione = true;
        } else if (a[i] == QLatin1String("--schermata") && i + 1 < a.size()) {
            schermata = a[++i];
        } else if (a[i] == QLatin1String("--help") || a[i] == QLatin1String("-h")) {
            std::fputs(USO, stdout);
            return 0;
        } else {
            std::fprintf(stderr, "vexameter: argomento non valido: %s\n%s", qPrintable(a[i]), USO);
            return 2;
        }
    }

    vexa::OpzioniProgramma o;
    o.versione[0] = VEXA_VERSIONE_MAGGIORE;
    o.versione[1] = VEXA_VERSIONE_MINORE;
    o.versione[2] = VEXA_VERSIONE_REVISIONE;
    if (!schermata.isEmpty()) {
        o.impostazioni_all_avvio = false;
        // Nobody is there to press OK: messages go to the terminal.
        o.mostra_messaggio = [](const std::string& t, vexa::Icona, const std::string&) {
            std::printf("[messaggio] %s\n", t.c_str());
        };
    }
    vexa::Programma programma(o);
    if (dimostrazione || !schermata.isEmpty()) atleta_dimostrativo(programma.stato);

    const vexa::EsitoAvvio esito = programma.avvia();
    if (dimostrazione) programma.semina_dimostrazione();
    programma.principale().intestazione()->Aggiorna_intestazione();
    if (schermata.isEmpty()) return app.exec();

    // --- one set without anybody at the screen
    std::printf("[titolo] %s\n", qPrintable(programma.principale().windowTitle()));
    if (esito == vexa::EsitoAvvio::NessunaScheda) {
        std::printf("Nessuna scheda trovata.\n");
        return 1;
    }
    vexa::Stato& s = programma.stato;
    auto* cmd = programma.principale().cmd();
    QElapsedTimer orologio, fermo;
    float ultimo_tempo = -1;
    std::size_t stampate = 0;
    int uscita = 1;
    QTimer passo;
    bool avviata = false;
    QObject::connect(&passo, &QTimer::timeout, [&] {
        if (!avviata) {
            if (!programma.principale().isVisible()) return; // the splash is still up
            std::printf("AVVIA\n");
            cmd->Button_start->imposta_valore(true);
            avviata = true;
            orologio.start();
            fermo.start();
            return;
        }
        const auto righe = programma.righe();
        for (; stampate < righe.size(); ++stampate) {
            const auto& r = s.ripetizioni.at(stampate + 1);
            std::printf("%s;%s\n", righe[stampate].c_str(),
                        vexa::nome_colore(vexa::colore_limiti(r.vmedia_conc, s.vel_max, s.limite_sup, s.limite_inf)));
        }
        if (s.tempo_totale != ultimo_tempo) {
            ultimo_tempo = s.tempo_totale;
            fermo.restart();
        }
        const bool finita = stampate > 0 && fermo.elapsed() > 2000;
        if (!finita && orologio.elapsed() < 180000 && s.acquisizione_in_corso) return;
        passo.stop();
        cmd->Button_start->imposta_valore(false);
        std::printf("Acquisizione fermata: %zu ripetizioni nella lista, %s s di movimento.\n", stampate,
                    vexa::formatta(s.tempo_movimento, 2, programma.analisi().separatore).c_str());
        // Let the last frame reach the screen before the picture is taken.
        QTimer::singleShot(300, [&] {
            programma.principale().grafici()->Grafico[0]->svuota_in_attesa();
            programma.principale().intestazione()->mostra_spostamento();
            const QPixmap foto = programma.principale().grab();
            if (foto.save(schermata)) {
                std::printf("Schermata salvata in %s\n", qPrintable(QFileInfo(schermata).absoluteFilePath()));
            } else {
                std::printf("Impossibile salvare la schermata in %s\n", qPrintable(schermata));
            }
            uscita = stampate > 0 ? 0 : 1;
            programma.principale().close();
            app.quit();
        });
    });
    passo.start(200);
    app.exec();
    return uscita;
}
