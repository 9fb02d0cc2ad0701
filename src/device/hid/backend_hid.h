// The USB HID layer under the HID link window: the handful of operations the
// window relies on (connect, device identity, read notification, read, write)
// and four notifications. Two implementations exist: the real one on hidapi and
// a udev monitor, and an in-process simulated board for tests and the demo. The
// window picks one at construction and never knows which it has.
//
// Every notification is emitted on the thread the backend lives on (the UI
// thread), in the order the events happened, and never from inside the call
// that caused it: a board already present is announced after Connect returns,
// as a window message would be.
#pragma once

#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <deque>
#include <map>

namespace vexa {

// A device as the layer names it. Handles are never reused, so a stale handle
// can never reach a device plugged in later. 0 is no device.
using HandleHid = uint32_t;

// The board's USB identity.
inline constexpr int VID_SCHEDA = 1121; // 0x0461
inline constexpr int PID_SCHEDA = 32;   // 0x0020

enum EventoHid : int {
    HID_COLLEGATO = 1,  // a device was plugged in
    HID_SCOLLEGATO = 2, // a device was removed
    HID_CAMBIATO = 3,   // the device list changed (after plug-ins and removals)
    HID_LEGGIBILE = 4,  // an input report of a device can be read
};

inline constexpr int BYTE_REPORT_INGRESSO = 64;
inline constexpr int BYTE_BUFFER_INVIO = 9; // report ID + 8 command bytes

class IBackendHid : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~IBackendHid() override = default;

    // Starts the notifications; devices already present are announced as plugged
    // in, followed by one list change. False when the layer cannot watch devices
    // (the reason has gone out through `errore`).
    virtual bool Connect() = 0;
    // Stops the notifications; those not yet delivered are dropped.
    virtual bool Disconnect() = 0;
    // 0 for an unknown handle.
    virtual int GetVendorID(HandleHid h) const = 0;
    virtual int GetProductID(HandleHid h) const = 0;
    // The present device with both IDs, 0 when there is none.
    virtual HandleHid GetHandle(int vid, int pid) const = 0;
    // From now on input reports of `h` are kept and announced with HID_LEGGIBILE.
    // Reports that arrive while notification is off are not kept.
    virtual bool SetReadNotify(HandleHid h, bool attiva) = 0;
    // Takes the oldest kept report of `h` into buffer65: index 0 the report ID (0),
    // 1..64 the report. False, with the buffer untouched, when none is waiting.
    virtual bool Read(HandleHid h, uint8_t* buffer65) = 0;
    // Sends the 9 bytes (report ID first) as an output report to the device with
    // both IDs. False when no such device can take it.
    virtual bool WriteEx(int vid, int pid, const uint8_t* buffer9) = 0;
    // False when this user is refused the device (its node without the access
    // the udev rule gives), so a caller can pass over it before trying to read.
    // Other troubles are not foreseen here: they surface through `errore`.
    virtual bool accessibile(HandleHid h) const {
        (void)h;
        return true;
    }

signals:
    void notifica(int evento, vexa::HandleHid handle);
    // A text for the user: a device that cannot be opened, a failed read or write.
    void errore(const QString& testo);
};

// The bookkeeping both backends share: the device table, the per-device report
// queues and the ordered, cancellable delivery of notifications.
class BackendHidComune : public IBackendHid {
    Q_OBJECT
public:
    using IBackendHid::IBackendHid;

    int GetVendorID(HandleHid h) const override;
    int GetProductID(HandleHid h) const override;
    HandleHid GetHandle(int vid, int pid) const override;
    bool SetReadNotify(HandleHid h, bool attiva) override;
    bool Read(HandleHid h, uint8_t* buffer65) override;

    bool connesso() const { return connesso_; }
    // Reports kept for `h` and not yet read.
    std::size_t report_in_attesa(HandleHid h) const;

    // Far more than a reader ever lags behind; past it the oldest go, so a
    // consumer that stopped reading cannot exhaust memory.
    static constexpr std::size_t MAX_REPORT_IN_CODA = 16384;

protected:
    struct Dispositivo {
        int vid = 0;
        int pid = 0;
        bool presente = true;
        bool notifica_lettura = false;
        std::deque<std::array<uint8_t, BYTE_REPORT_INGRESSO>> coda;
    };

    // Connect/Disconnect bookkeeping for the subclasses.
    void inizia_notifiche();
    void ferma_notifiche();

    // A device arrives or leaves; both post their notifications when connected.
    HandleHid aggiungi(int vid, int pid);
    void rimuovi(HandleHid h);
    // Announces every present device, then one list change (what Connect does).
    void annuncia_presenti();
    // An input report from device `h`: kept and announced if reading is on.
    void consegna_report(HandleHid h, const uint8_t* dati, std::size_t n);

    void posta(int evento, HandleHid h);
    void posta_errore(const QString& testo);

    const Dispositivo* dispositivo(HandleHid h) const;
    Dispositivo* dispositivo(HandleHid h);
    const std::map<HandleHid, Dispositivo>& dispositivi() const { return dispositivi_; }

private:
    std::map<HandleHid, Dispositivo> dispositivi_;
    HandleHid prossimo_ = 1;
    bool connesso_ = false;
    // Bumped at every Connect and Disconnect: a notification posted under an
    // older value is not delivered.
    uint64_t generazione_ = 0;
};

} // namespace vexa
