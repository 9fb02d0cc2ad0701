// The program recording a set, for a test to kill: it starts as a coach's
// would in the folder it is given (data in <folder>/prog, settings in
// <folder>/cfg), switches recording on, starts the acquisition and says how
// many samples it holds every tenth of a second, until it is killed.
#include "app/frm_apertura.h"
#include "app/frm_main.h"
#include "app/programma.h"
#include "sim/backend_simulato.h"

#include <QApplication>
#include <QDir>
#include <QSettings>
#include <QTimer>
#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) return 2;
    const QString cartella = QString::fromLocal8Bit(argv[1]);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QDir(cartella).filePath(QStringLiteral("cfg")));
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    vexa::OpzioniProgramma o;
    o.cartella_programma = QDir(cartella).filePath(QStringLiteral("prog"));
    o.attesa_hid_ms = 150;
    o.attesa_apertura_ms = 20;
    o.impostazioni_all_avvio = false;
    o.mostra_messaggio = [](const std::string& t, vexa::Icona, const std::string&) {
        std::printf("[messaggio] %s\n", t.c_str());
    };
    o.crea_backend_hid = [] { return std::make_unique<vexa::BackendHidSimulato>(); };
    vexa::Programma p(o);
    vexa::Stato& s = p.stato;
    s.nome_atleta = "Mario Rossi";
    s.ampiezza_min = 100;
    s.cartella_atleta =
        QDir(o.cartella_programma).filePath(QStringLiteral("Squadra/Mario Rossi")).toStdString();
    if (p.avvia() != vexa::EsitoAvvio::Seriale) return 1;

    auto* cmd = p.principale().cmd();
    cmd->Button_Memo->imposta_valore(true);
    cmd->Button_start->imposta_valore(true);
    QTimer passo;
    QObject::connect(&passo, &QTimer::timeout, [&] { std::printf("campioni %d\n", s.n_campioni); });
    passo.start(100);
    return app.exec();
}
