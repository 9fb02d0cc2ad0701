// The USB HID layer under the HID link window: the handful of operations the
// window relies on (connect, device identity, read notification, read, write)
// and four notifications. Two implementations exist: the real one on hidapi and
// a udev monitor, and an in-process simulated board for tests and the demo. The
// window picks one at construction and never knows which it has.
//
// Every notification is emitted on the thread the backend lives on (the UI
// thread), in the order the events happened, and never from inside the call
// that caused it: a board already present is announced after Connect returns,
// as a window message would be. A device's plug-in is announced before any
// of its reports; nothing is announced after Disconnect; a handle names one
// device for good, so a stale one never reaches a board plugged in later.
//
// Input reports are handed over in batches. A device's reports wait in a ring
// of AnelloReport::CAPACITA (about four seconds of the board at full rate);
// HID_LEGGIBILE says "reports of this device are waiting", not "one report":
// whoever handles it takes them all with LeggiLotto (Read takes one). It is
// posted at most once until delivered; reports still waiting after it was
// handled (a bounded read, or new arrivals) are announced again by the
// collection tick, every PERIODO_RACCOLTA_MS at most, so a busy stream costs
// the UI thread a couple of events per tick instead of two per report. It is
// never delivered for a device whose reading is off, once its removal has
// been seen, or after Disconnect. Reports that find the ring full are dropped
// and counted; the user is told once per connection, through `errore`.
#pragma once

#include "anello_report.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>

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
    HID_LEGGIBILE = 4,  // input reports of a device are waiting to be read
};

inline constexpr int BYTE_REPORT_INGRESSO = 64;
inline constexpr int BYTE_BUFFER_INVIO = 9; // report ID + 8 command bytes
static_assert(static_cast<int>(AnelloReport::BYTE_REPORT) == BYTE_REPORT_INGRESSO);

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
    // Reports that arrive while notification is off are not kept, and switching
    // it off drops those waiting.
    virtual bool SetReadNotify(HandleHid h, bool attiva) = 0;
    // Takes the oldest kept report of `h` into buffer65: index 0 the report ID (0),
    // 1..64 the report. False, with the buffer untouched, when none is waiting.
    virtual bool Read(HandleHid h, uint8_t* buffer65) = 0;

    // Receives one report: its 64 bytes, without the report ID.
    using RiceviReport = std::function<void(const uint8_t* report64)>;
    // Takes up to `massimo` kept reports of `h`, oldest first, and returns how
    // many. Each is taken before it is handed to `ricevi`, one at a time: a
    // handler that runs the event loop (a message box) and reads again from
    // inside carries on from the next report instead of seeing one twice, and a
    // removal handled meanwhile ends the batch.
    virtual std::size_t LeggiLotto(HandleHid h, const RiceviReport& ricevi, std::size_t massimo);
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
// rings, the collection tick and the ordered, cancellable delivery of
// notifications.
class BackendHidComune : public IBackendHid {
    Q_OBJECT
public:
    // How often, while reports are flowing, the rings are looked at. The tick
    // runs only while some device with reading on has reports waiting; the
    // first report after a quiet spell wakes it.
    static constexpr int PERIODO_RACCOLTA_MS = 5;

    explicit BackendHidComune(QObject* parent = nullptr);

    int GetVendorID(HandleHid h) const override;
    int GetProductID(HandleHid h) const override;
    HandleHid GetHandle(int vid, int pid) const override;
    bool SetReadNotify(HandleHid h, bool attiva) override;
    bool Read(HandleHid h, uint8_t* buffer65) override;

    bool connesso() const { return connesso_; }
    // Reports kept for `h` and not yet read.
    std::size_t report_in_attesa(HandleHid h) const;
    // Reports of `h` dropped because its ring was full.
    uint64_t report_persi(HandleHid h) const;
    // Wake-ups reader threads have posted to the UI thread so far: at most one
    // per quiet spell, however many reports follow it.
    uint64_t sveglie() const { return sveglie_.load(std::memory_order_relaxed); }
    bool raccolta_attiva() const { return tick_.isActive(); }

protected:
    struct Dispositivo {
        int vid = 0;
        int pid = 0;
        bool presente = true;
        bool notifica_lettura = false;
        // Made when the device is first read from or written to, shared with
        // its reader thread, which may outlive the entry by a read.
        std::shared_ptr<AnelloReport> anello;
        bool leggibile_in_volo = false; // a HID_LEGGIBILE posted and not yet delivered
        uint64_t persi_visti = 0;       // drops already seen by the UI side
        uint64_t persi_registrati = 0;  // ... and already in the log
        std::chrono::steady_clock::time_point ultimo_registro{};
        bool perdita_detta = false; // the user has been told, on this connection
    };

    // Connect/Disconnect bookkeeping for the subclasses.
    void inizia_notifiche();
    void ferma_notifiche();

    // A device arrives or leaves; both post their notifications when connected.
    HandleHid aggiungi(int vid, int pid);
    void rimuovi(HandleHid h);
    // Announces every present device, then one list change (what Connect does).
    void annuncia_presenti();
    // An input report from device `h`, on the UI thread: kept and announced if
    // reading is on.
    void consegna_report(HandleHid h, const uint8_t* dati, std::size_t n);

    // The ring of a present device, made (closed) on first use; null for an
    // unknown or departed one. For a reader thread about to start.
    std::shared_ptr<AnelloReport> anello_per(HandleHid h);
    // Any thread, after a report went into a ring: wakes the collection tick
    // if it sleeps, with one queued call however many reports follow.
    void report_arrivato();

    void posta(int evento, HandleHid h);
    void posta_errore(const QString& testo);

    const Dispositivo* dispositivo(HandleHid h) const;
    Dispositivo* dispositivo(HandleHid h);
    const std::map<HandleHid, Dispositivo>& dispositivi() const { return dispositivi_; }

private slots:
    // Posted by name from report_arrivato: the queued call then carries no
    // data of ours, so ThreadSanitizer, which cannot see Qt's own hand-over,
    // has nothing of ours to find unordered.
    void sveglia();

private:
    static bool legge(const Dispositivo& d) { return d.presente && d.notifica_lettura && d.anello; }
    void posta_leggibile(HandleHid h, Dispositivo& d);
    void avvia_raccolta();
    void raccogli(); // the tick
    // Logs drops of `h` seen since the last look, at most once a second unless
    // `subito`, and tells the user the first time on this connection.
    void controlla_perdite(HandleHid h, Dispositivo& d, bool subito);

    std::map<HandleHid, Dispositivo> dispositivi_;
    HandleHid prossimo_ = 1;
    bool connesso_ = false;
    // Bumped at every Connect and Disconnect: a notification posted under an
    // older value is not delivered.
    uint64_t generazione_ = 0;
    QTimer tick_;
    // True while the tick is stopped and no wake-up is on its way: the next
    // report to arrive posts one and clears it.
    std::atomic<bool> sveglia_armata_{true};
    std::atomic<uint64_t> sveglie_{0};
};

} // namespace vexa
