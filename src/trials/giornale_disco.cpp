#include "giornale_disco.h"

#include "file_vbt.h"
#include "salvataggio.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#include <chrono>
#include <string_view>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace vexa {

Q_LOGGING_CATEGORY(lcGiornale, "vexa.file")

namespace {

const QString ESTENSIONE = QStringLiteral(".vxg");

// The disk has the bytes, not only the system's cache: a power cut keeps them.
bool sincronizza(QFile& f) {
#ifdef Q_OS_UNIX
    return ::fdatasync(f.handle()) == 0;
#else
    return f.flush();
#endif
}

// A new file's name is in its folder only once the folder is synced too.
void sincronizza_cartella(const QString& cartella) {
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(cartella).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#else
    Q_UNUSED(cartella);
#endif
}

// The writer holds its journal locked; a journal nobody holds is one whose
// program has ended, however it ended.
bool blocca(QFile& f, bool attendi) {
#ifdef Q_OS_UNIX
    return ::flock(f.handle(), LOCK_EX | (attendi ? 0 : LOCK_NB)) == 0;
#else
    Q_UNUSED(f);
    Q_UNUSED(attendi);
    return true;
#endif
}

QString citato(const QString& t) { return QStringLiteral("«") + QDir::toNativeSeparators(t) + QStringLiteral("»"); }

QString testo(const std::string& t) { return QString::fromStdString(t); }

} // namespace

QString cartella_giornali(const QString& cartella_programma) {
    return QDir(cartella_programma).filePath(QStringLiteral("giornale"));
}

GiornaleRegistrazione::GiornaleRegistrazione(const QString& cartella, QObject* parent)
    : QObject(parent), cartella_(cartella) {}

GiornaleRegistrazione::~GiornaleRegistrazione() {
    if (aperto()) chiudi(false);
}

void GiornaleRegistrazione::apri(const IntestazioneGiornale& intestazione) {
    if (aperto()) chiudi(false);
    QDir().mkpath(cartella_);
    const QDir d(cartella_);
    const DataOra& t = intestazione.inizio;
    const QString base = QStringLiteral("registrazione %1%2%3-%4%5%6")
                             .arg(t.anno, 4, 10, QLatin1Char('0'))
                             .arg(t.mese, 2, 10, QLatin1Char('0'))
                             .arg(t.giorno, 2, 10, QLatin1Char('0'))
                             .arg(t.ora, 2, 10, QLatin1Char('0'))
                             .arg(t.minuto, 2, 10, QLatin1Char('0'))
                             .arg(t.secondo, 2, 10, QLatin1Char('0'));
    percorso_ = d.filePath(base + ESTENSIONE);
    for (int n = 2; QFileInfo::exists(percorso_) && n < 1000; ++n)
        percorso_ = d.filePath(base + QStringLiteral(" (%1)").arg(n) + ESTENSIONE);
    fermare_ = false;
    guasto_ = false;
    in_coda_.clear();
    thread_ = std::thread(&GiornaleRegistrazione::scrittore, this, intestazione, percorso_);
}

void GiornaleRegistrazione::aggiungi(int32_t indice, const Campione& c) {
    if (guasto_.load(std::memory_order_relaxed)) return; // nothing would take it
    std::lock_guard<std::mutex> lk(m_);
    in_coda_.push_back({indice, c});
}

void GiornaleRegistrazione::chiudi(bool rimuovi) {
    if (!aperto()) return;
    {
        std::lock_guard<std::mutex> lk(m_);
        fermare_ = true;
    }
    cv_.notify_all();
    thread_.join();
    if (rimuovi) {
        QFile::remove(percorso_);
        qCInfo(lcGiornale).noquote() << "giornale della registrazione rimosso:" << percorso_;
    }
}

void GiornaleRegistrazione::scrittore(IntestazioneGiornale intestazione, QString percorso) {
    QFile f(percorso);
    bool guasto = false;
    auto fallisci = [&](const QString& perche) {
        guasto = true;
        guasto_ = true;
        qCWarning(lcGiornale).noquote() << "giornale della registrazione non scritto:" << percorso << perche;
        emit errore(QStringLiteral("Impossibile scrivere il giornale della registrazione %1: %2.\n"
                                   "La prova resta in memoria e sarà salvata alla fine come sempre, ma se il "
                                   "programma si chiudesse di colpo andrebbe persa.")
                        .arg(citato(percorso), perche));
    };
    auto scrivi = [&](const std::string& b) {
        if (guasto) return;
        if (f.write(b.data(), static_cast<qint64>(b.size())) != static_cast<qint64>(b.size()))
            fallisci(f.errorString());
    };

    if (!f.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
        fallisci(f.errorString());
    } else {
        blocca(f, true);
        scrivi(inizio_giornale(intestazione));
        if (!guasto && !sincronizza(f)) fallisci(QStringLiteral("sincronizzazione col disco non riuscita"));
        sincronizza_cartella(QFileInfo(percorso).absolutePath());
    }

    QElapsedTimer dalla_sincronizzazione;
    dalla_sincronizzazione.start();
    bool da_sincronizzare = false;
    std::vector<Voce> lotto;
    std::unique_lock<std::mutex> lk(m_);
    for (;;) {
        cv_.wait_for(lk, std::chrono::milliseconds(INTERVALLO_SCRITTURA_MS), [this] { return fermare_; });
        lotto.swap(in_coda_);
        const bool basta = fermare_;
        lk.unlock();
        // One record per run of consecutive indices: a run breaks where the
        // analysis started the recording again.
        for (std::size_t i = 0; i < lotto.size() && !guasto;) {
            std::size_t j = i + 1;
            while (j < lotto.size() && j - i < 4096 && lotto[j].indice == lotto[j - 1].indice + 1) ++j;
            std::vector<Campione> c;
            c.reserve(j - i);
            for (std::size_t k = i; k < j; ++k) c.push_back(lotto[k].c);
            scrivi(record_campioni(lotto[i].indice, c.data(), c.size()));
            da_sincronizzare = true;
            i = j;
        }
        lotto.clear();
        if (!guasto && da_sincronizzare &&
            (basta || dalla_sincronizzazione.elapsed() >= INTERVALLO_SINCRONIZZAZIONE_MS)) {
            if (!sincronizza(f)) fallisci(QStringLiteral("sincronizzazione col disco non riuscita"));
            da_sincronizzare = false;
            dalla_sincronizzazione.restart();
        }
        lk.lock();
        if (basta) break;
    }
    lk.unlock();
    f.close();
}

QString recupera_giornali(const QString& cartella_giornali, const QString& cartella_riserva, QStringList* scritti) {
    const QDir d(cartella_giornali);
    if (!d.exists()) return {};
    const FormatoLocale formato = formato_locale();
    QStringList testi;
    for (const QString& nome : d.entryList({QStringLiteral("*") + ESTENSIONE}, QDir::Files, QDir::Name)) {
        const QString percorso = d.filePath(nome);
        QFile f(percorso);
        if (!f.open(QIODevice::ReadOnly)) {
            testi << QStringLiteral("Il giornale di registrazione %1 non si apre (%2): resta dov'è.")
                         .arg(citato(percorso), f.errorString());
            continue;
        }
        // Another copy of the program is writing it: not left behind.
        if (!blocca(f, false)) continue;
        if (f.size() == 0) {
            f.close();
            QFile::remove(percorso); // the program ended before it wrote anything
            continue;
        }
        const uchar* mappa = f.map(0, f.size());
        QByteArray letti;
        if (!mappa) letti = f.readAll();
        const std::string_view byte =
            mappa ? std::string_view(reinterpret_cast<const char*>(mappa), static_cast<std::size_t>(f.size()))
                  : std::string_view(letti.constData(), static_cast<std::size_t>(letti.size()));
        const GiornaleLetto g = leggi_giornale(byte);
        if (mappa) f.unmap(const_cast<uchar*>(mappa));
        f.close();

        if (!g.intestazione_letta || (g.n_campioni == 0 && !g.integro)) {
            // Nothing says whose it is: kept, where the trials without an athlete go.
            QDir().mkpath(cartella_riserva);
            QString dove = QDir(cartella_riserva).filePath(QFileInfo(nome).completeBaseName() +
                                                           QStringLiteral(" non leggibile") + ESTENSIONE);
            if (!QFile::rename(percorso, dove)) dove = percorso;
            testi << QStringLiteral("Trovato un giornale di registrazione che non si può leggere (%1): "
                                    "conservato com'era in %2.")
                         .arg(testo(g.guasto), citato(dove));
            continue;
        }
        if (g.n_campioni == 0) {
            QFile::remove(percorso); // a recording that never got a sample
            continue;
        }

        const IntestazioneGiornale& i = g.intestazione;
        QString cartella = testo(i.cartella_atleta);
        if (cartella.isEmpty() || !QDir().mkpath(cartella)) cartella = cartella_riserva;
        QDir().mkpath(cartella);
        const QString base =
            nome_file_valido(testo(nome_automatico(i.inizio, formato)) + QStringLiteral(" recuperata"));
        QString intero, dati, giornale;
        for (int n = 1; n < 1000; ++n) {
            const QString b = n == 1 ? base : base + QStringLiteral(" (%1)").arg(n);
            intero = QDir(cartella).filePath(b + QStringLiteral(".csv"));
            dati = QDir(cartella).filePath(b + QStringLiteral(" dati.csv"));
            giornale = QDir(cartella).filePath(b + ESTENSIONE);
            if (!QFileInfo::exists(intero) && !QFileInfo::exists(dati) && !QFileInfo::exists(giornale)) break;
        }
        const ProvaRecuperata r = ricostruisci_prova(g, formato);
        QString e = scrivi_file(intero, r.intero);
        if (e.isEmpty()) e = scrivi_file(dati, r.dati);
        // As a normal save: the figures beside the results, and the trial
        // itself is what must not fail.
        if (e.isEmpty()) scrivi_file(testo(nome_file_vbt(dati.toStdString())), r.vbt);
        if (!e.isEmpty()) {
            QFile::remove(intero);
            testi << QStringLiteral("La prova interrotta di %1 non si è potuta recuperare: %2\n"
                                    "Il giornale resta in %3 e sarà ripreso al prossimo avvio.")
                         .arg(citato(testo(i.nome_atleta)), e, citato(percorso));
            continue;
        }
        if (scritti) *scritti << intero << dati;

        const QString quando = QStringLiteral("%1/%2/%3 alle %4:%5:%6")
                                   .arg(i.inizio.giorno, 2, 10, QLatin1Char('0'))
                                   .arg(i.inizio.mese, 2, 10, QLatin1Char('0'))
                                   .arg(i.inizio.anno)
                                   .arg(i.inizio.ora)
                                   .arg(i.inizio.minuto, 2, 10, QLatin1Char('0'))
                                   .arg(i.inizio.secondo, 2, 10, QLatin1Char('0'));
        const QString chi = i.nome_atleta.empty() ? QStringLiteral("senza atleta")
                                                  : QStringLiteral("di ") + citato(testo(i.nome_atleta));
        const QString cosa =
            i.esercizio.empty() ? QString() : QStringLiteral(" (") + testo(i.esercizio) + QStringLiteral(")");
        QString t = QStringLiteral("Recuperata la prova interrotta %1%2, iniziata il %3: %4 campioni, %5 "
                                   "ripetizioni.\nSalvata in %6 come %7 e %8.")
                        .arg(chi, cosa, quando)
                        .arg(g.n_campioni)
                        .arg(r.righe)
                        .arg(citato(cartella), citato(QFileInfo(intero).fileName()),
                             citato(QFileInfo(dati).fileName()));
        if (g.integro) {
            QFile::remove(percorso);
        } else {
            if (!QFile::rename(percorso, giornale)) {
                if (QFile::copy(percorso, giornale))
                    QFile::remove(percorso);
                else
                    giornale = percorso;
            }
            t += QStringLiteral("\nIl giornale era interrotto (%1): recuperati i campioni fino all'ultimo record "
                                "intero; il giornale è conservato com'era in %2.")
                     .arg(testo(g.guasto), citato(giornale));
        }
        qCWarning(lcGiornale).noquote() << t;
        testi << t;
    }
    return testi.join(QStringLiteral("\n\n"));
}

} // namespace vexa
