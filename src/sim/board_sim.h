// A board in software on a pseudo-terminal: it answers the probe and the
// commands as the hardware does and, between start and stop, streams the
// records of a synthesised set in real time (or faster). Faults can be asked
// for, so the program's handling of bad boards can be tried and tested.
#pragma once

#include "sintetizzatore.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <vector>

class QSocketNotifier;

namespace vexa::sim {

enum class Guasto {
    Nessuno,
    Muta,            // reads everything, answers nothing
    PrimoByteErrato, // two-byte replies start with '#' instead of '$'
    SondaTroncata,   // the probe gets "?YE" and then silence
    Spazzatura,      // stray bytes in the middle of the stream
    Riaggancio,      // the line goes away in the middle of the stream
    Perdita,         // bytes of the stream lost in the middle of it
};

// "silent", "bad-first-byte", "short-probe", "garbage", "hangup", "drop"; false if unknown.
bool leggi_guasto(const QString& nome, Guasto& g);

struct OpzioniScheda {
    int tipo = 1;
    DescrizioneSerie serie;
    double velocita = 1.0;          // time factor of the stream: 2 = twice as fast
    int tempo_campionamento = 100;  // hundredths of a second, in the information block
    uint8_t maschera_canali = 1;
    Guasto guasto = Guasto::Nessuno;
    double punto_guasto = 0.5;      // share of the stream after which a stream fault strikes
    int byte_guasto = 5;            // bytes the garbage fault puts in, or the drop fault takes out
};

class SchedaSimulata : public QObject {
    Q_OBJECT
public:
    explicit SchedaSimulata(const OpzioniScheda& opzioni, QObject* parent = nullptr);
    ~SchedaSimulata() override;

    // Opens the pseudo-terminal; `errore` says why not.
    bool apri(QString* errore = nullptr);
    // Links `collegamento` (e.g. <ports>/com7) to the terminal, replacing a stale link.
    bool collega(const QString& collegamento, QString* errore = nullptr);
    // Unlinks and closes the terminal: the program sees the line hang up.
    void chiudi();
    // Raw bytes down the line, as a babbling board would send them.
    void trasmetti(const QByteArray& byte) { rispondi(byte); }

    QString terminale() const { return terminale_; }
    QString collegamento() const { return collegamento_; }
    bool aperta() const { return master_ >= 0; }
    bool in_flusso() const { return flusso_.isActive(); }
    std::size_t record_inviati() const { return prossimo_; }
    const Serie& serie() const { return serie_; }
    // Commands served so far, as text ("$", "?", "$T", ...).
    const QStringList& comandi() const { return comandi_; }

signals:
    void comando_servito(const QString& comando);
    void flusso_finito();
    void riagganciata();

private:
    void leggibile();
    void servi(char c);
    void esegui(char lettera);
    void rispondi(const QByteArray& byte);
    void svuota_uscita();
    void avvia_flusso();
    void passo_flusso();
    // Records [da, a) down the line, less the bytes a drop fault still owes.
    void invia_record(std::size_t da, std::size_t a);

    OpzioniScheda op_;
    Serie serie_;
    std::vector<uint8_t> byte_;   // the stream, 6 bytes a record
    std::vector<double> istanti_; // ms from the start at which each record is complete
    int master_ = -1;
    int schiavo_ = -1; // kept open so the master never reads end-of-file while nobody listens
    QString terminale_, collegamento_;
    QSocketNotifier* lettura_ = nullptr;
    QSocketNotifier* scrittura_ = nullptr;
    QByteArray uscita_;
    bool dollaro_ = false;
    QTimer attesa_dollaro_; // a lone '$' is answered once no command letter follows
    QTimer flusso_;
    QElapsedTimer orologio_;
    std::size_t prossimo_ = 0;
    bool guasto_fatto_ = false;
    std::size_t da_saltare_ = 0;
    QStringList comandi_;
};

} // namespace vexa::sim
