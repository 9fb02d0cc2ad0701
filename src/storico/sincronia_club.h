// The station's sets on their way to the club's server. The station's own
// history is always written first (ServizioStorico); what the server does not
// have yet is found there (a set not yet pushed, or changed since) and pushed
// from a thread of its own, so a server that is down, slow or refusing the
// login never holds up acquisition, saving or the station's history. Nothing
// is lost meanwhile: the queue is the station's history itself.
#pragma once

#include "storico.h"

#include <QDateTime>
#include <QObject>

#include <atomic>
#include <memory>

class QTimer;

namespace vexa {

// How the push stands, for the "Storico" window.
struct StatoClub {
    bool attivo = false;  // a server is set
    int in_attesa = -1;   // sets not yet on the server (-1: not known yet)
    QDateTime risposta;   // when the server last answered (null: never in this run)
    QString problema;     // why the last try failed; empty when it went through
    int inviate = 0;      // sets the server took in this run
    bool risponde() const { return attivo && problema.isEmpty() && risposta.isValid(); }
};

class SincroniaClub : public QObject {
    Q_OBJECT
public:
    SincroniaClub(const QString& cartella_dati, int attesa_ms, int riprova_ms,
                  std::shared_ptr<std::atomic<bool>> fermati);
    ~SincroniaClub() override;

public slots:
    // The server to push to; one with no host stops the pushing.
    void imposta(const vexa::ConnessioneStorico& server);
    void sincronizza();
    // The connections are closed on the thread that opened them.
    void termina();

signals:
    void stato(const vexa::StatoClub& s);

private:
    void riprova();
    void comunica();

    QString cartella_;
    int attesa_ms_, riprova_ms_;
    // Shared: a worker left running at closing outlives its service.
    std::shared_ptr<std::atomic<bool>> fermati_;
    ConnessioneStorico server_;
    std::unique_ptr<Storico> locale_, remoto_;
    QTimer* timer_ = nullptr;
    StatoClub stato_;
};

} // namespace vexa

Q_DECLARE_METATYPE(vexa::StatoClub)
Q_DECLARE_METATYPE(vexa::ConnessioneStorico)
