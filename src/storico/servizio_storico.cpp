#include "servizio_storico.h"

#include "trials/salvataggio.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <QSet>
#include <QThread>
#include <QTimer>

#include <memory>

namespace vexa {

// Lives on the history's thread, with the one connection it uses there.
class LavoratoreStorico : public QObject {
    Q_OBJECT
public:
    LavoratoreStorico(const QString& cartella, ServizioStorico::Opzioni o, std::atomic<bool>& ricostruzione,
                      std::atomic<bool>& fermati)
        : cartella_(cartella), o_(o), ricostruzione_(ricostruzione), fermati_(fermati) {}

public slots:
    void avvia() {
        if (!s_) crea();
        verifica_ = true;
        if (sospesi_.isEmpty())
            pronto();
        else
            svuota(); // what the last run could not put in
    }

    void registra(const QString& file, int tipo, const QString& squadra) {
        if (!s_) crea();
        sospesi_.append({file, tipo > 0 ? std::optional<int>(tipo) : std::nullopt, squadra});
        svuota();
    }

    void ricostruisci() {
        if (!s_) crea();
        if (pronto()) {
            const Ricostruzione r = ricostruisci_ora();
            emit ricostruzione_finita(r.riepilogo());
        } else {
            emit ricostruzione_finita(QStringLiteral("Storico non ricostruito: ") + ultimo_);
        }
        ricostruzione_ = false;
    }

    // The connection is closed on the thread that opened it.
    void termina() {
        if (timer_) timer_->stop();
        s_.reset();
    }

signals:
    void messaggio(const QString& testo);
    void aggiornato();
    void avanzamento(int fatti, int totali);
    void ricostruzione_finita(const QString& riepilogo);

private:
    struct InSospeso {
        QString file;
        std::optional<int> tipo;
        QString squadra;
    };

    void crea() {
        s_ = std::make_unique<Storico>(cartella_, Storico::Opzioni{o_.attesa_occupato_ms});
        timer_ = new QTimer(this);
        timer_->setSingleShot(true);
        connect(timer_, &QTimer::timeout, this, &LavoratoreStorico::svuota);
        leggi_sospesi();
    }

    // The files still to go in and a rebuild not finished are kept on disk
    // until done: closing the program (or a crash) while the database was
    // held by another copy, or halfway through a rebuild, must not leave sets
    // out of the history for good.
    QString file_sospesi() const {
        return QDir(cartella_).filePath(QLatin1String(NOME_FILE_STORICO) + QStringLiteral("-in-sospeso"));
    }

    void leggi_sospesi() {
        QFile f(file_sospesi());
        if (!f.open(QIODevice::ReadOnly)) return;
        for (const QByteArray& riga : f.read(1 << 20).split('\n')) {
            if (riga == "ricostruzione") {
                da_ricostruire_ = true;
                continue;
            }
            const QList<QByteArray> campi = riga.split('\t');
            if (campi.size() != 3) continue;
            const int tipo = campi[0].toInt();
            sospesi_.append({QString::fromUtf8(QByteArray::fromPercentEncoding(campi[2])),
                             tipo > 0 ? std::optional<int>(tipo) : std::nullopt,
                             QString::fromUtf8(QByteArray::fromPercentEncoding(campi[1]))});
        }
        sospesi_scritti_ = true;
    }

    void scrivi_sospesi() {
        if (sospesi_.isEmpty() && !da_ricostruire_) {
            if (sospesi_scritti_) QFile::remove(file_sospesi());
            sospesi_scritti_ = false;
            return;
        }
        QByteArray b;
        if (da_ricostruire_) b += "ricostruzione\n";
        for (const InSospeso& x : sospesi_)
            b += QByteArray::number(x.tipo.value_or(0)) + '\t' + x.squadra.toUtf8().toPercentEncoding() + '\t' +
                 x.file.toUtf8().toPercentEncoding() + '\n';
        if (const QString e = scrivi_file(file_sospesi(), b); !e.isEmpty()) {
            // The files themselves are safe; only a rebuild would bring these sets in.
            qCWarning(lcStorico).noquote() << "elenco delle serie in sospeso non scritto:" << e;
            return;
        }
        sospesi_scritti_ = true;
    }

    // Each kind of trouble is told once a run; the log has every one.
    void problema(StatoStorico tipo, const QString& testo) {
        ultimo_ = testo;
        qCWarning(lcStorico).noquote() << testo;
        if (detti_.contains(static_cast<int>(tipo))) return;
        detti_.insert(static_cast<int>(tipo));
        emit messaggio(testo);
    }

    // Open, or why not. A missing database is built from the files; a
    // damaged one goes aside and is rebuilt; a newer one is left alone.
    bool pronto() {
        if (s_->aperto()) return true;
        if (rifiutato_) return false;
        const EsitoStorico e = s_->apri(verifica_);
        verifica_ = false;
        if (e.ok()) {
            if (da_ricostruire_ && !s_->appena_creato()) {
                ricostruisci_ora(); // the one the last run left halfway
            } else if (s_->appena_creato()) {
                const Ricostruzione r = ricostruisci_ora();
                if (r.aggiunte > 0)
                    problema(StatoStorico::Chiuso,
                             QStringLiteral("Lo storico degli allenamenti \u00e8 stato creato dai file delle prove "
                                            "della cartella dei dati: %1 serie.").arg(r.aggiunte));
                else
                    emit aggiornato(); // there is one now, if empty
            }
            return s_->aperto();
        }
        if (e.stato == StatoStorico::Danneggiato) return ripara(e.messaggio);
        if (e.stato == StatoStorico::PiuRecente) rifiutato_ = true;
        problema(e.stato, e.messaggio + avviso_file());
        return false;
    }

    bool ripara(const QString& perche) {
        const QString via = s_->metti_da_parte();
        if (via.isEmpty()) {
            rifiutato_ = true;
            problema(StatoStorico::Inaccessibile,
                     perche + QStringLiteral(" Non si \u00e8 potuto metterlo da parte per ricostruirlo.") + avviso_file());
            return false;
        }
        const EsitoStorico e = s_->apri();
        if (!e.ok()) {
            problema(e.stato, e.messaggio + avviso_file());
            return false;
        }
        const Ricostruzione r = ricostruisci_ora();
        problema(StatoStorico::Danneggiato,
                 perche + QStringLiteral(" \u00c8 stato messo da parte come \"%1\" e ricostruito dai file delle "
                                         "prove: %2 serie.")
                              .arg(QDir::toNativeSeparators(via))
                              .arg(r.aggiunte + r.aggiornate + r.invariate));
        return s_->aperto();
    }

    // What becomes of the sets meanwhile: tried again while the trouble may
    // pass, otherwise left to a rebuild.
    QString avviso_file() const {
        if (rifiutato_)
            return QStringLiteral(" Le serie restano salvate nei loro file; \"Ricostruisci storico\" le riporta "
                                  "nello storico.");
        return QStringLiteral(" Le serie restano salvate nei loro file ed entreranno nello storico appena possibile.");
    }

    Ricostruzione ricostruisci_ora() {
        ricostruzione_ = true;
        if (!da_ricostruire_) {
            da_ricostruire_ = true;
            scrivi_sospesi();
        }
        const Ricostruzione r = s_->ricostruisci([this](int fatti, int totali) {
            if (fatti % 100 == 0 || fatti == totali) emit avanzamento(fatti, totali);
            return !fermati_.load();
        });
        ricostruzione_ = false;
        if (!r.interrotta && r.esito.ok()) {
            da_ricostruire_ = false;
            scrivi_sospesi();
        }
        if (r.esito.stato == StatoStorico::Danneggiato && !riparando_) {
            riparando_ = true;
            ripara(r.esito.messaggio);
            riparando_ = false;
        } else if (!r.esito.ok()) {
            problema(r.esito.stato, r.esito.messaggio + avviso_file());
        }
        if (r.aggiunte || r.aggiornate || r.rimosse) emit aggiornato();
        return r;
    }

    // The files waiting, oldest first, until one cannot go in; then a later try.
    void svuota() {
        if (!pronto()) {
            if (!rifiutato_) timer_->start(o_.riprova_ms);
            scrivi_sospesi();
            return;
        }
        bool cambiato = false, riparato = false;
        while (!sospesi_.isEmpty() && !fermati_.load()) {
            const InSospeso& x = sospesi_.first();
            const EsitoImportazione e = s_->importa(x.file, x.tipo, x.squadra);
            if (e.tipo == Importazione::Fallita) {
                if (e.stato == StatoStorico::Danneggiato && !riparato) {
                    // Made again from the data folder; the file is tried once
                    // more, as it may have been saved outside it.
                    cambiato = riparato = true;
                    if (ripara(e.messaggio)) continue;
                    break;
                }
                problema(e.stato, e.messaggio + avviso_file());
                timer_->start(o_.riprova_ms);
                break;
            }
            if (e.tipo == Importazione::Illeggibile) qCWarning(lcStorico).noquote() << "non letto:" << e.messaggio;
            if (e.tipo == Importazione::Aggiunta || e.tipo == Importazione::Aggiornata) cambiato = true;
            sospesi_.removeFirst();
        }
        if (!sospesi_.isEmpty() || sospesi_scritti_) scrivi_sospesi();
        if (cambiato) emit aggiornato();
    }

    QString cartella_;
    ServizioStorico::Opzioni o_;
    std::atomic<bool>& ricostruzione_;
    std::atomic<bool>& fermati_;
    std::unique_ptr<Storico> s_;
    QTimer* timer_ = nullptr;
    QList<InSospeso> sospesi_;
    QSet<int> detti_;
    QString ultimo_;
    bool verifica_ = false;
    bool rifiutato_ = false;
    bool riparando_ = false;
    bool da_ricostruire_ = false;
    bool sospesi_scritti_ = false;
};

ServizioStorico::ServizioStorico(const QString& cartella_dati, QObject* parent)
    : ServizioStorico(cartella_dati, Opzioni{}, parent) {}

ServizioStorico::ServizioStorico(const QString& cartella_dati, Opzioni o, QObject* parent)
    : QObject(parent), cartella_(cartella_dati) {
    thread_ = new QThread(this);
    thread_->setObjectName(QStringLiteral("vexa-storico"));
    lavoratore_ = new LavoratoreStorico(cartella_dati, o, ricostruzione_, fermati_);
    lavoratore_->moveToThread(thread_);
    connect(lavoratore_, &LavoratoreStorico::messaggio, this, &ServizioStorico::messaggio);
    connect(lavoratore_, &LavoratoreStorico::aggiornato, this, &ServizioStorico::aggiornato);
    connect(lavoratore_, &LavoratoreStorico::avanzamento, this, &ServizioStorico::avanzamento);
    connect(lavoratore_, &LavoratoreStorico::ricostruzione_finita, this, &ServizioStorico::ricostruzione_finita);
    thread_->start(QThread::LowPriority);

    // The push has a thread of its own: a server that does not answer holds
    // up neither the station's history nor the program.
    qRegisterMetaType<StatoClub>();
    qRegisterMetaType<ConnessioneStorico>();
    thread_club_ = new QThread;
    thread_club_->setObjectName(QStringLiteral("vexa-club"));
    club_lavoratore_ = new SincroniaClub(cartella_dati, o.attesa_occupato_ms, o.riprova_ms, fermati_club_);
    club_lavoratore_->moveToThread(thread_club_);
    connect(club_lavoratore_, &SincroniaClub::stato, this, [this](const StatoClub& s) {
        stato_club_ = s;
        emit club_cambiato(s);
    });
    // Each set the station's history took (a save, a rebuild) goes on to the server.
    connect(lavoratore_, &LavoratoreStorico::aggiornato, club_lavoratore_, &SincroniaClub::sincronizza);
    thread_club_->start(QThread::LowPriority);
    imposta_club(o.club);
}

ServizioStorico::~ServizioStorico() {
    *fermati_club_ = true;
    QMetaObject::invokeMethod(club_lavoratore_, &SincroniaClub::termina, Qt::QueuedConnection);
    thread_club_->quit();
    if (thread_club_->wait(250)) {
        delete club_lavoratore_;
        delete thread_club_;
    } else {
        // Stuck in a call to a silent server: left to end with the process.
        // The sets it was pushing are still queued in the station's history.
        qCWarning(lcStorico) << "invio al server del club interrotto alla chiusura";
        QObject::disconnect(club_lavoratore_, nullptr, this, nullptr);
    }
    fermati_ = true;
    QMetaObject::invokeMethod(lavoratore_, &LavoratoreStorico::termina, Qt::BlockingQueuedConnection);
    thread_->quit();
    thread_->wait();
    delete lavoratore_;
}

void ServizioStorico::avvia() { QMetaObject::invokeMethod(lavoratore_, &LavoratoreStorico::avvia, Qt::QueuedConnection); }

void ServizioStorico::registra(const QString& file_dati, std::optional<int> tipo_scheda, const QString& squadra) {
    const int tipo = tipo_scheda.value_or(0);
    QMetaObject::invokeMethod(
        lavoratore_, [l = lavoratore_, file_dati, tipo, squadra] { l->registra(file_dati, tipo, squadra); },
        Qt::QueuedConnection);
}

void ServizioStorico::imposta_club(const ConnessioneStorico& server) {
    club_ = server;
    stato_club_ = StatoClub{};
    stato_club_.attivo = server.server() && !server.host.isEmpty();
    QMetaObject::invokeMethod(club_lavoratore_, [l = club_lavoratore_, server] { l->imposta(server); }, Qt::QueuedConnection);
    sincronizza();
}

void ServizioStorico::sincronizza() {
    QMetaObject::invokeMethod(club_lavoratore_, &SincroniaClub::sincronizza, Qt::QueuedConnection);
}

void ServizioStorico::ricostruisci() {
    if (ricostruzione_.exchange(true)) return;
    QMetaObject::invokeMethod(lavoratore_, &LavoratoreStorico::ricostruisci, Qt::QueuedConnection);
}

} // namespace vexa

#include "servizio_storico.moc"
