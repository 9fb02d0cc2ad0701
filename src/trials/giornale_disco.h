// The recording journal on disk: a writer thread that appends the samples the
// analysis records and flushes them to the disk at least every half second,
// and the start-up recovery that turns a journal left behind by a crash into
// a whole-trial file and its results.
#pragma once

#include "giornale.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace vexa {

// Journals live here, in the data folder, one file per recording.
QString cartella_giornali(const QString& cartella_programma);

class GiornaleRegistrazione : public QObject {
    Q_OBJECT
public:
    // `cartella`: the folder of the journals.
    explicit GiornaleRegistrazione(const QString& cartella, QObject* parent = nullptr);
    // Ends the writing, keeping the file: a recording not saved by then is
    // recovered at the next start.
    ~GiornaleRegistrazione() override;

    bool aperto() const { return thread_.joinable(); }
    QString percorso() const { return percorso_; }

    // Starts a journal: the file gets its header from the writer thread.
    void apri(const IntestazioneGiornale& intestazione);
    // Sample `indice` of the recording, as the analysis stored it. Cheap: the
    // writer thread does the file work.
    void aggiungi(int32_t indice, const Campione& c);
    // Writes what is held, flushes, closes; `rimuovi`: the trial is safe
    // elsewhere (saved, or not wanted), so the journal goes.
    void chiudi(bool rimuovi);

    // How long written samples may wait in memory before they go to the
    // disk; a crash loses at most this much (plus what the analysis had not
    // handed over yet).
    static constexpr int INTERVALLO_SCRITTURA_MS = 250;
    static constexpr int INTERVALLO_SINCRONIZZAZIONE_MS = 500;

signals:
    // The journal cannot be written (a full disk, a folder that refuses it).
    // Emitted from the writer thread, once per journal.
    void errore(const QString& testo);

private:
    struct Voce {
        int32_t indice;
        Campione c;
    };
    void scrittore(IntestazioneGiornale intestazione, QString percorso);

    QString cartella_;
    QString percorso_;
    std::thread thread_;
    std::mutex m_;
    std::condition_variable cv_;
    std::vector<Voce> in_coda_;
    bool fermare_ = false;
    std::atomic<bool> guasto_{false};
};

// Every journal left in `cartella_giornali` becomes a whole-trial file and
// its results, named after its start time with " recuperata", in the
// athlete's folder it names or else in `cartella_riserva`. A journal that
// does not read whole is recovered up to its last whole record and kept
// beside the files as it was. Returns what the coach should read (Italian,
// empty when there was nothing to recover) and, in `scritti`, the files written.
QString recupera_giornali(const QString& cartella_giornali, const QString& cartella_riserva,
                          QStringList* scritti = nullptr);

} // namespace vexa
