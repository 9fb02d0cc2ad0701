// The serial port over QSerialPort, with the behaviour the board protocol
// relies on: port numbers, a settings string, a local input buffer read in
// InputLen pieces, a receive event at the threshold, and a lost device closed
// at once and reported.
#pragma once

#include "porta.h"

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>

namespace vexa {

// Default folder of the numbered port links: "ports" in the program folder.
QString cartella_porte_predefinita();

class PortaSeriale : public QObject, public IPorta {
    Q_OBJECT
public:
    explicit PortaSeriale(QObject* parent = nullptr);
    ~PortaSeriale() override;

    // Where port N is looked up off Windows: `cartella`/comN when the folder
    // exists, otherwise the N-th serial port the system lists. Empty = default.
    void imposta_cartella_porte(const QString& cartella) { cartella_porte_ = cartella; }
    QString cartella_porte() const;
    // The device port N opens ("" when there is none).
    QString percorso_porta(int porta) const;
    // Most bytes kept waiting; a board that babbles while nobody reads loses
    // its oldest bytes instead of filling the memory.
    void imposta_limite_ingresso(qsizetype byte) { limite_ = byte; }
    // Bytes dropped so far because nobody read them in time.
    qint64 byte_scartati() const { return byte_scartati_; }
    void imposta_unita_ingresso(int byte) override { unita_ = byte < 1 ? 1 : byte; }

    int16_t CommPort() const override { return porta_; }
    void setCommPort(int16_t porta) override;
    std::string Settings() const override;
    void setSettings(const std::string& impostazioni) override;
    bool PortOpen() const override { return seriale_.isOpen(); }
    void setPortOpen(bool aperta) override;
    int16_t Handshaking() const override { return flusso_; }
    void setHandshaking(int16_t flusso) override;
    void setDTREnable(bool attivo) override;
    void setRTSEnable(bool attivo) override;
    void setNullDiscard(bool scarta) override { scarta_nul_ = scarta; }
    ModoIngresso InputMode() const override { return modo_; }
    void setInputMode(ModoIngresso modo) override { modo_ = modo; }
    int16_t InputLen() const override { return lunghezza_; }
    void setInputLen(int16_t n) override { lunghezza_ = n < 0 ? int16_t{0} : n; }
    int16_t RThreshold() const override { return soglia_; }
    void setRThreshold(int16_t n) override { soglia_ = n < 0 ? int16_t{0} : n; }
    int InBufferCount() const override;
    std::vector<uint8_t> Input() override;
    void Output(const std::string& testo) override;
    std::string dispositivo(int16_t porta) const override;

private:
    void dati_pronti();
    void errore_seriale(QSerialPort::SerialPortError errore);
    void applica_impostazioni(); // throws ERR_IMPOSTAZIONI_PORTA
    void applica_flusso();
    void applica_linea(bool dtr, bool attivo);
    [[noreturn]] void chiusa() const;

    QSerialPort seriale_;
    QString cartella_porte_;
    QByteArray ingresso_;
    int16_t porta_ = 1;
    CampiImpostazioni campi_{"115200", 'n', "8", "1"};
    int16_t flusso_ = FLUSSO_NESSUNO;
    bool dtr_ = false, rts_ = false, scarta_nul_ = false;
    ModoIngresso modo_ = ModoIngresso::Testo;
    int16_t lunghezza_ = 0;
    int16_t soglia_ = 0;
    qsizetype limite_ = qsizetype{1} << 20; // about 90 s of a full-speed stream
    qint64 byte_scartati_ = 0;
    int unita_ = 1;
};

} // namespace vexa
