// The history as the program keeps it: on a thread of its own, so a slow
// disk, a second copy of the program holding the database or a rebuild of
// thousands of files never holds up acquisition or saving. The program hands
// over each results file once it is on disk; what cannot go in at once waits
// and is tried again, and the files remain the record whatever happens here.
#pragma once

#include "sincronia_club.h"
#include "storico.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <optional>

class QThread;

namespace vexa {

class LavoratoreStorico;

class ServizioStorico : public QObject {
    Q_OBJECT
public:
    struct Opzioni {
        int attesa_occupato_ms = 2000;
        // How often files that could not go in are tried again.
        int riprova_ms = 30000;
        // The club's server the station's sets go to; no host: none.
        ConnessioneStorico club = {};
    };
    explicit ServizioStorico(const QString& cartella_dati, QObject* parent = nullptr);
    ServizioStorico(const QString& cartella_dati, Opzioni o, QObject* parent = nullptr);
    // Stops a rebuild at the next file and waits for the thread; the push to
    // the club's server is waited for a moment only, so a server gone silent
    // never holds up closing the program (what was not pushed stays queued).
    ~ServizioStorico() override;

    const QString& cartella_dati() const { return cartella_; }

    // Opens and checks the database in the background; a missing one is
    // built from the files, a damaged one moved aside and rebuilt.
    void avvia();
    // A results file now on disk. `squadra` names the squad of a file saved
    // outside the athlete's folder.
    void registra(const QString& file_dati, std::optional<int> tipo_scheda = {}, const QString& squadra = {});
    void ricostruisci();
    bool in_ricostruzione() const { return ricostruzione_.load(); }

    // The club's server, from now on (a connection with no host: none).
    void imposta_club(const ConnessioneStorico& server);
    const ConnessioneStorico& club() const { return club_; }
    // Pushes to the club's server the sets it does not have, in the background.
    void sincronizza();
    const StatoClub& stato_club() const { return stato_club_; }

signals:
    // Trouble the user should hear about, each kind once per run.
    void messaggio(const QString& testo);
    // Sets went in or out.
    void aggiornato();
    void avanzamento(int fatti, int totali);
    void ricostruzione_finita(const QString& riepilogo);
    void club_cambiato(const vexa::StatoClub& stato);

private:
    QString cartella_;
    QThread* thread_ = nullptr;
    LavoratoreStorico* lavoratore_ = nullptr;
    QThread* thread_club_ = nullptr;
    SincroniaClub* club_lavoratore_ = nullptr;
    ConnessioneStorico club_;
    StatoClub stato_club_;
    std::atomic<bool> ricostruzione_{false};
    std::atomic<bool> fermati_{false};
    std::shared_ptr<std::atomic<bool>> fermati_club_ = std::make_shared<std::atomic<bool>>(false);
};

} // namespace vexa
