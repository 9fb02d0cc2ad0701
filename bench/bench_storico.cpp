// The history at club size: a data folder of saved sets (default 10,000 sets
// of ten repetitions, 100,000 repetitions, a velocity-training file beside
// every other one) rebuilt into a new database, rebuilt again unchanged, and
// the "Storico" window opened on it, offscreen, for the busiest athlete over
// the default six weeks and over the whole history. Prints the times and
// their ratio to what a coach must not wait longer than (10 s for the
// rebuild, 0.3 s for the window).
//
//   bench_storico [--serie N] [--cartella DIR] [--schermata FILE.png]
//
// --cartella keeps the data folder (otherwise a temporary one goes at the end);
// --schermata saves a picture of the window as it opened on the six weeks,
// and FILE-1.png and FILE-2.png of the two charts over the whole history.
#include "storico/frm_storico.h"
#include "storico/storico.h"

#include "analysis/formato.h"
#include "trials/file_prova.h"

#include <QApplication>
#include <QDateEdit>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPixmap>
#include <QTabWidget>
#include <QTemporaryDir>

#include <cstdio>
#include <random>

using namespace vexa;

namespace {

constexpr int ATLETI = 10;
const char* const ESERCIZI[] = {"Squat", "Panca piana"};

std::string vbt(const std::vector<float>& v) {
    std::string t = "N\xB0Rip;Vmedia;VMP;Vmax;Pmedia;Pmax;Perdita;\r\n";
    for (std::size_t i = 0; i < v.size(); ++i)
        t += std::to_string(i + 1) + ";" + formatta(v[i], 0) + ";" + formatta(v[i] * 1.1f, 0) + ";" +
             formatta(v[i] * 1.8f, 0) + ";500;900;" + formatta((v[0] - v[i]) / v[0] * 100, 1) + ";\r\n";
    return t;
}

bool scrivi(const QString& percorso, const std::string& byte) {
    QFile f(percorso);
    return f.open(QIODevice::WriteOnly) && f.write(byte.data(), static_cast<qint64>(byte.size())) == static_cast<qint64>(byte.size());
}

// Sets spread over two years up to today, ten athletes in two squads, two
// exercises; each session three sets at loads 20 kg apart, from 40 to 140 kg,
// on 1400 - 10 kg mm/s with some scatter and a loss through each set.
bool prepara(const QString& cartella, int n) {
    std::mt19937 caso(7);
    std::uniform_real_distribution<float> dispersione(-25, 25);
    const QDate oggi = QDate::currentDate();
    FormatoLocale f;
    for (int i = 0; i < n; ++i) {
        const int seduta = i / 3;
        const int atleta = seduta % ATLETI;
        const char* esercizio = ESERCIZI[(seduta / ATLETI) % 2];
        const QDateTime quando(oggi.addDays(-static_cast<qint64>(seduta) * 3 * 730 / n), QTime(8 + i % 3, seduta % 60, 0));
        const float carico = static_cast<float>(40 + 10 * (seduta / (2 * ATLETI) % 7) + 20 * (i % 3));
        const std::string nome = "Atleta " + std::to_string(atleta + 1);
        const QString dir = QDir(cartella).filePath(QStringLiteral("Squadra %1/%2").arg(atleta % 2 + 1).arg(QString::fromStdString(nome)));
        if (i < ATLETI * 3) QDir().mkpath(dir);
        std::vector<RigaRisultati> righe;
        std::vector<float> v;
        const float base = 1400 - 10 * carico + dispersione(caso);
        for (int r = 0; r < 10; ++r) {
            v.push_back(base * (1 - 0.02f * static_cast<float>(r)));
            RigaRisultati riga;
            riga.colonne = {std::to_string(r + 1), formatta(3.2 * r, 2), "0.90", "450", formatta(v.back(), 0),
                            formatta(v.back() * 1.8f, 0), "0.30", "150", "1.30", "-450", "-330", "-400", "0.12", "50", ""};
            righe.push_back(riga);
        }
        const QString base_nome = QStringLiteral("%1 %2").arg(quando.toString(QStringLiteral("yyyy MM dd HH mm ss"))).arg(i);
        const DataOra d{quando.date().year(), quando.date().month(), quando.date().day(), quando.time().hour(),
                        quando.time().minute(), 0};
        if (!scrivi(QDir(dir).filePath(base_nome + QStringLiteral(" dati.csv")), testo_file_dati(nome, esercizio, carico, righe, d, f)))
            return false;
        if (i % 2 == 0 && !scrivi(QDir(dir).filePath(base_nome + QStringLiteral(" dati vbt.csv")), vbt(v))) return false;
    }
    return true;
}

double secondi(const QElapsedTimer& t) { return static_cast<double>(t.nsecsElapsed()) / 1e9; }

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int n = 10000;
    QString cartella, schermata;
    const QStringList a = app.arguments();
    for (int i = 1; i + 1 < a.size(); i += 2) {
        if (a[i] == QLatin1String("--serie")) n = a[i + 1].toInt();
        else if (a[i] == QLatin1String("--cartella")) cartella = a[i + 1];
        else if (a[i] == QLatin1String("--schermata")) schermata = a[i + 1];
    }
    QTemporaryDir temporanea;
    if (cartella.isEmpty()) cartella = temporanea.path();
    QDir().mkpath(cartella);
    QFile::remove(QDir(cartella).filePath(QLatin1String(NOME_FILE_STORICO)));

    std::printf("preparing %d results files (%d repetitions) in %s\n", n, n * 10, qPrintable(cartella));
    if (!prepara(cartella, n)) {
        std::fprintf(stderr, "bench_storico: cannot write the data folder\n");
        return 1;
    }

    QElapsedTimer t;
    t.start();
    double ricostruzione = 0, di_nuovo = 0;
    {
        Storico s(cartella);
        if (!s.apri().ok()) {
            std::fprintf(stderr, "bench_storico: %s\n", qPrintable(s.ultimo_errore().messaggio));
            return 1;
        }
        const Ricostruzione r = s.ricostruisci();
        ricostruzione = secondi(t);
        std::printf("rebuild_s=%.3f files_per_s=%.0f sets_added=%d ratio_to_10s=%.3f\n", ricostruzione,
                    n / ricostruzione, r.aggiunte, ricostruzione / 10);
        t.restart();
        s.ricostruisci();
        di_nuovo = secondi(t);
        std::printf("rebuild_unchanged_s=%.3f\n", di_nuovo);
        t.restart();
        Storico verifica(cartella);
        verifica.apri(true);
        std::printf("open_with_check_s=%.3f\n", secondi(t));
    }
    std::printf("database_bytes=%lld\n", static_cast<long long>(QFileInfo(QDir(cartella).filePath(QLatin1String(NOME_FILE_STORICO))).size()));

    for (bool tutto : {false, true}) {
        t.restart();
        Frm_storico w(cartella, nullptr, {QStringLiteral("Squadra 1"), QStringLiteral("Atleta 1"), QStringLiteral("Squat")});
        if (tutto) w.txt_dal->setDate(QDate::currentDate().addYears(-3));
        w.show();
        QCoreApplication::processEvents();
        const double aperta = secondi(t);
        std::printf("window_%s_s=%.4f sets_shown=%zu ratio_to_0.3s=%.3f\n", tutto ? "whole_history" : "six_weeks", aperta,
                    w.sessioni().size(), aperta / 0.3);
        if (schermata.isEmpty()) continue;
        if (!tutto) {
            w.grab().save(schermata);
        } else {
            // The two charts over time, on the whole history.
            QString base = schermata;
            base.chop(4);
            for (int scheda : {1, 2}) {
                w.schede->setCurrentIndex(scheda);
                QCoreApplication::processEvents();
                w.grab().save(base + QStringLiteral("-%1.png").arg(scheda));
            }
        }
    }
    return 0;
}
