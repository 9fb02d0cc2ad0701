// The serial port as the board protocol sees it: a port number, a settings
// string, an input buffer read in fixed-length pieces and an event when enough
// bytes wait. The real port sits on QSerialPort; tests script an in-memory one.
// Every operation that needs the device open throws ErroreRuntime when it is not.
#pragma once

#include "errore_runtime.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vexa {

enum class ModoIngresso : int16_t { Testo = 0, Binario = 1 };

// Flow-control values as the settings window numbers its options.
inline constexpr int16_t FLUSSO_NESSUNO = 0;
inline constexpr int16_t FLUSSO_XON_XOFF = 1;
inline constexpr int16_t FLUSSO_RTS = 2;
inline constexpr int16_t FLUSSO_XON_RTS = 3;

class IPorta {
public:
    virtual ~IPorta() = default;

    virtual int16_t CommPort() const = 0;
    // Throws ERR_PORTA_GIA_APERTA while open, ERR_PORTA_NON_VALIDA outside 1..255.
    virtual void setCommPort(int16_t porta) = 0;

    // "115200,n,8,1": baud, parity letter (reported in lower case), data bits,
    // stop bits ("1.5" with a point). Throws ERR_VALORE_NON_VALIDO when malformed.
    virtual std::string Settings() const = 0;
    virtual void setSettings(const std::string& impostazioni) = 0;

    virtual bool PortOpen() const = 0;
    // Opening an open port throws ERR_PORTA_GIA_APERTA; closing a closed one is harmless.
    virtual void setPortOpen(bool aperta) = 0;

    virtual int16_t Handshaking() const = 0;
    virtual void setHandshaking(int16_t flusso) = 0;
    // Lines a device does not have (a pseudo-terminal) are not an error.
    virtual void setDTREnable(bool attivo) = 0;
    virtual void setRTSEnable(bool attivo) = 0;
    virtual void setNullDiscard(bool scarta) = 0;

    virtual ModoIngresso InputMode() const = 0;
    virtual void setInputMode(ModoIngresso modo) = 0;
    // Bytes one Input() takes; 0 takes everything waiting.
    virtual int16_t InputLen() const = 0;
    virtual void setInputLen(int16_t n) = 0;
    // The receive event fires while at least this many bytes wait; 0 disables it.
    virtual int16_t RThreshold() const = 0;
    virtual void setRThreshold(int16_t n) = 0;

    virtual int InBufferCount() const = 0;
    // Takes InputLen bytes (fewer if fewer wait), or all of them when InputLen is 0.
    virtual std::vector<uint8_t> Input() = 0;
    virtual void Output(const std::string& testo) = 0;

    // The input cap drops whole units of this many bytes from the front: a
    // record during an acquisition, so what is kept is still in step.
    virtual void imposta_unita_ingresso(int /*byte*/) {}

    // What port `porta` stands for on this machine ("" when nothing), for the port list.
    virtual std::string dispositivo(int16_t /*porta*/) const { return {}; }

    // Any bytes arrived: wakes the reply waits.
    std::function<void()> su_dati;
    // The receive event: bytes arrived and at least RThreshold wait.
    std::function<void()> OnComm_ricezione;
    // The device went away; the port is already closed when this runs.
    std::function<void(const ErroreRuntime&)> su_perdita;
};

// Opens the port; an open port counts as success, any other failure as false.
bool Open_comm(IPorta& porta);

// The fields of a settings string, as the settings window shows them.
struct CampiImpostazioni {
    std::string velocita; // "115200"
    char parita = 'n';    // lower case
    std::string bit_dati; // "8"
    std::string bit_stop; // "1", "1.5", "2"
};

// Splits and checks a settings string; false when it is malformed.
bool scomponi_impostazioni(const std::string& testo, CampiImpostazioni& campi);

} // namespace vexa
