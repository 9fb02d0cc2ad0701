// The HID layer on a real board: hidapi (hidraw) for the device I/O and a udev
// monitor for arrivals and removals.
//
// - Arrivals and removals come from a udev monitor on the "hidraw" subsystem,
//   watched by a socket notifier on the UI thread. The monitor listens to the
//   "udev" source, not the kernel's, so the device's permissions (the uaccess
//   rule) are in place by the time the arrival is seen.
// - Each opened device has its own reader thread, and every hidapi call for
//   that device (open, read, write, close) happens on it: hidapi's error
//   strings are not thread-safe. The thread never waits on the UI: the kernel
//   keeps only 64 reports per open device and drops newer ones when full, so
//   each report goes straight into the device's ring (AnelloReport), which the
//   UI thread empties on its collection tick. The first report after a quiet
//   spell posts one wake-up; a full ring drops the report and counts it.
// - A device is opened when reading is switched on or the first command goes
//   to it; one that cannot be opened (typically: no permission on the hidraw
//   node) is reported once with what to do about it.
#pragma once

#include "backend_hid.h"

#include <QString>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class QSocketNotifier;
struct udev;
struct udev_monitor;
struct udev_device;

namespace vexa {

// "0003:00000461:00000020" (the HID_ID of a hid device) into vendor and product.
bool leggi_hid_id(const char* hid_id, int& vid, int& pid);
// What to tell the user when the device at `percorso` could not be opened;
// `errore` is the errno of the attempt.
QString testo_errore_apertura(const std::string& percorso, int errore);

// Opens `percorso` for reading and writing and closes it again: 0, or the errno
// of the attempt. Nothing is read or written, so no hidapi call is involved.
using ProvaAccesso = std::function<int(const std::string& percorso)>;
int prova_apertura(const std::string& percorso);

// The calls a reader thread makes on its device, all from that thread. The
// real ones are hidapi's; tests put a pipe behind them.
class IoHid {
public:
    virtual ~IoHid() = default;
    // 0, or the errno that explains the failure.
    virtual int apri(const std::string& percorso) = 0;
    // As hid_read_timeout: bytes read, 0 after `attesa_ms` without a report, -1 on failure.
    virtual int leggi(uint8_t* dati, std::size_t n, int attesa_ms) = 0;
    // As hid_write: bytes written or -1.
    virtual int scrivi(const uint8_t* dati, std::size_t n) = 0;
    virtual QString ultimo_errore() = 0;
    virtual void chiudi() = 0;
};
using FabbricaIoHid = std::function<std::unique_ptr<IoHid>()>;
std::unique_ptr<IoHid> io_hidapi();

class BackendHidReale : public BackendHidComune {
    Q_OBJECT
public:
    // Milliseconds a reader waits for a report before looking for commands to send.
    static constexpr int ATTESA_LETTURA_MS = 10;
    // A failed read is reported only if the device is still there this much later:
    // a read fails first when a board is pulled out, before its removal is seen.
    static constexpr int RITARDO_ERRORE_LETTURA_MS = 500;

    explicit BackendHidReale(QObject* parent = nullptr, FabbricaIoHid fabbrica = io_hidapi,
                             ProvaAccesso prova = prova_apertura);
    ~BackendHidReale() override;

    bool Connect() override;
    bool Disconnect() override;
    bool SetReadNotify(HandleHid h, bool attiva) override;
    bool WriteEx(int vid, int pid, const uint8_t* buffer9) override;
    // Tries the node now (on the calling thread): permissions can change while
    // a device is plugged in, and the answer must be today's.
    bool accessibile(HandleHid h) const override;

    // What a udev arrival and removal of a hidraw node do (`syspath` names the
    // node, `devnode` is the file to open).
    HandleHid arrivo(const std::string& syspath, const std::string& devnode, int vid, int pid);
    void partenza(const std::string& syspath);

private slots:
    // Posted by name by a reader thread with something to say; what it says
    // waits in its Lettore.
    void notizie_dai_lettori();

private:
    struct Lettore {
        HandleHid handle = 0;
        std::string percorso;
        std::thread thread;
        std::atomic<bool> ferma{false};
        bool finito = false; // the thread has ended (UI side)
        std::shared_ptr<AnelloReport> anello; // shared with the device's entry
        std::mutex mutex;
        std::vector<std::array<uint8_t, BYTE_BUFFER_INVIO>> da_scrivere;
        // What the thread has to tell the UI, under `mutex`: failed writes, in
        // order, and before it ends why it ends.
        std::vector<QString> errori;
        QString errore_apertura;
        QString guasto;
        std::atomic<bool> terminato{false}; // set last, once the above is in
        bool concluso = false;              // its end has been handled (UI side)
    };

    void evento_udev();
    void arrivo_da_udev(udev_device* d);
    Lettore* assicura_lettore(HandleHid h);
    void ferma_lettore(HandleHid h);
    void lettore_finito(HandleHid h);
    Lettore* trova_lettore(HandleHid h);
    void lavoro(Lettore* l); // reader thread
    void chiudi_udev();

    struct Nodo {
        std::string syspath;
        std::string devnode;
    };
    std::map<HandleHid, Nodo> nodi_;
    std::map<HandleHid, std::unique_ptr<Lettore>> lettori_;
    std::vector<std::unique_ptr<Lettore>> in_chiusura_;
    FabbricaIoHid fabbrica_;
    ProvaAccesso prova_;
    bool hid_pronto_ = false;
    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;
    std::unique_ptr<QSocketNotifier> notificatore_;
};

} // namespace vexa
