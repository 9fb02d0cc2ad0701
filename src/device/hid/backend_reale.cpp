#include "backend_reale.h"

#include <QMetaObject>
#include <QSocketNotifier>
#include <QTimer>

#include <hidapi.h>
#include <libudev.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace vexa {

bool leggi_hid_id(const char* hid_id, int& vid, int& pid) {
    if (!hid_id) return false;
    unsigned bus = 0, v = 0, p = 0;
    char resto = 0;
    if (std::sscanf(hid_id, "%x:%x:%x%c", &bus, &v, &p, &resto) != 3) return false;
    if (v > 0xFFFF || p > 0xFFFF) return false;
    vid = static_cast<int>(v);
    pid = static_cast<int>(p);
    return true;
}

QString testo_errore_apertura(const std::string& percorso, int errore) {
    const QString nodo = QString::fromStdString(percorso);
    if (errore == EACCES || errore == EPERM)
        return QStringLiteral("Impossibile accedere alla scheda USB (%1): permesso negato.\n"
                              "Installare la regola udev 70-vexameter.rules (vedere docs/hid.md), "
                              "poi scollegare e ricollegare la scheda.")
            .arg(nodo);
    if (errore == ENOENT || errore == ENODEV || errore == ENXIO)
        return QStringLiteral("La scheda USB (%1) non è più collegata.").arg(nodo);
    if (errore == ENOTTY)
        return QStringLiteral("%1 non è un dispositivo USB HID (hidraw): la scheda non può essere usata.")
            .arg(nodo);
    return QStringLiteral("Impossibile aprire la scheda USB (%1): %2.")
        .arg(nodo, QString::fromLocal8Bit(std::strerror(errore)));
}

int prova_apertura(const std::string& percorso) {
    const int fd = ::open(percorso.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return errno;
    ::close(fd);
    return 0;
}

namespace {

class IoHidapi : public IoHid {
public:
    int apri(const std::string& percorso) override {
        // hidapi 0.13 crashes when asked to open a node that is not hidraw, so
        // the node is checked first; the check also gives a reliable errno,
        // where hidapi's own error text is global and shared between threads.
        const int fd = ::open(percorso.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) return errno;
        hidraw_devinfo info{};
        const int esito = ::ioctl(fd, HIDIOCGRAWINFO, &info) < 0 ? ENOTTY : 0;
        ::close(fd);
        if (esito != 0) return esito;
        dev_ = hid_open_path(percorso.c_str());
        return dev_ ? 0 : EIO;
    }
    int leggi(uint8_t* dati, std::size_t n, int attesa_ms) override {
        return hid_read_timeout(dev_, dati, n, attesa_ms);
    }
    int scrivi(const uint8_t* dati, std::size_t n) override { return hid_write(dev_, dati, n); }
    QString ultimo_errore() override {
        const wchar_t* e = dev_ ? hid_error(dev_) : nullptr;
        return e ? QString::fromWCharArray(e) : QStringLiteral("errore sconosciuto");
    }
    void chiudi() override {
        if (dev_) hid_close(dev_);
        dev_ = nullptr;
    }
    ~IoHidapi() override { chiudi(); }

private:
    hid_device* dev_ = nullptr;
};

} // namespace

std::unique_ptr<IoHid> io_hidapi() { return std::make_unique<IoHidapi>(); }

BackendHidReale::BackendHidReale(QObject* parent, FabbricaIoHid fabbrica, ProvaAccesso prova)
    : BackendHidComune(parent), fabbrica_(std::move(fabbrica)), prova_(std::move(prova)) {
    // Initialised here, on the UI thread, so the readers never race to do it.
    hid_pronto_ = hid_init() == 0;
}

BackendHidReale::~BackendHidReale() {
    Disconnect();
    for (auto& [h, l] : lettori_) {
        l->ferma = true;
        if (l->thread.joinable()) l->thread.join();
    }
    for (auto& l : in_chiusura_)
        if (l->thread.joinable()) l->thread.join();
    if (hid_pronto_) hid_exit();
}

bool BackendHidReale::Connect() {
    if (connesso()) return true;
    if (!hid_pronto_) {
        posta_errore(QStringLiteral("Impossibile inizializzare la libreria USB HID: "
                                    "il collegamento USB non è utilizzabile."));
        return false;
    }
    udev_ = udev_new();
    monitor_ = udev_ ? udev_monitor_new_from_netlink(udev_, "udev") : nullptr;
    if (!monitor_ || udev_monitor_filter_add_match_subsystem_devtype(monitor_, "hidraw", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor_) < 0) {
        chiudi_udev();
        posta_errore(QStringLiteral("Impossibile sorvegliare i dispositivi USB (udev non disponibile): "
                                    "il collegamento USB non è utilizzabile."));
        return false;
    }
    notificatore_ = std::make_unique<QSocketNotifier>(udev_monitor_get_fd(monitor_), QSocketNotifier::Read);
    connect(notificatore_.get(), &QSocketNotifier::activated, this, &BackendHidReale::evento_udev);

    // The monitor is already listening, so a board plugged in during the scan is
    // not missed; `arrivo` ignores a node it already knows.
    if (udev_enumerate* e = udev_enumerate_new(udev_)) {
        udev_enumerate_add_match_subsystem(e, "hidraw");
        udev_enumerate_scan_devices(e);
        udev_list_entry* voce = nullptr;
        udev_list_entry_foreach(voce, udev_enumerate_get_list_entry(e)) {
            if (udev_device* d = udev_device_new_from_syspath(udev_, udev_list_entry_get_name(voce))) {
                arrivo_da_udev(d);
                udev_device_unref(d);
            }
        }
        udev_enumerate_unref(e);
    }
    inizia_notifiche();
    annuncia_presenti();
    return true;
}

bool BackendHidReale::Disconnect() {
    if (!connesso()) return true;
    ferma_notifiche();
    chiudi_udev();
    // Without the monitor the device list would go stale; it is rebuilt at the
    // next Connect.
    std::vector<HandleHid> tutti;
    for (const auto& [h, n] : nodi_) tutti.push_back(h);
    for (HandleHid h : tutti) {
        ferma_lettore(h);
        rimuovi(h);
    }
    nodi_.clear();
    return true;
}

void BackendHidReale::chiudi_udev() {
    notificatore_.reset();
    if (monitor_) udev_monitor_unref(monitor_);
    if (udev_) udev_unref(udev_);
    monitor_ = nullptr;
    udev_ = nullptr;
}

void BackendHidReale::evento_udev() {
    udev_device* d = udev_monitor_receive_device(monitor_);
    if (!d) return;
    const char* azione = udev_device_get_action(d);
    if (azione && std::strcmp(azione, "add") == 0) {
        arrivo_da_udev(d);
    } else if (azione && std::strcmp(azione, "remove") == 0) {
        if (const char* s = udev_device_get_syspath(d)) partenza(s);
    }
    udev_device_unref(d);
}

void BackendHidReale::arrivo_da_udev(udev_device* d) {
    const char* syspath = udev_device_get_syspath(d);
    const char* devnode = udev_device_get_devnode(d);
    udev_device* hid = udev_device_get_parent_with_subsystem_devtype(d, "hid", nullptr);
    int vid = 0, pid = 0;
    if (!syspath || !devnode || !hid || !leggi_hid_id(udev_device_get_property_value(hid, "HID_ID"), vid, pid))
        return;
    arrivo(syspath, devnode, vid, pid);
}

HandleHid BackendHidReale::arrivo(const std::string& syspath, const std::string& devnode, int vid, int pid) {
    for (const auto& [h, n] : nodi_)
        if (n.syspath == syspath) return h;
    const HandleHid h = aggiungi(vid, pid);
    nodi_[h] = Nodo{syspath, devnode};
    return h;
}

void BackendHidReale::partenza(const std::string& syspath) {
    for (const auto& [h, n] : nodi_) {
        if (n.syspath != syspath) continue;
        const HandleHid hh = h;
        nodi_.erase(hh);
        ferma_lettore(hh);
        rimuovi(hh);
        return;
    }
}

bool BackendHidReale::SetReadNotify(HandleHid h, bool attiva) {
    if (!BackendHidComune::SetReadNotify(h, attiva)) return false;
    if (attiva) assicura_lettore(h);
    return true;
}

bool BackendHidReale::WriteEx(int vid, int pid, const uint8_t* buffer9) {
    const HandleHid h = GetHandle(vid, pid);
    if (h == 0) return false;
    Lettore* l = assicura_lettore(h);
    // A device that could not be opened has been reported already.
    if (!l || l->finito) return false;
    std::array<uint8_t, BYTE_BUFFER_INVIO> b{};
    std::copy(buffer9, buffer9 + BYTE_BUFFER_INVIO, b.begin());
    std::lock_guard<std::mutex> lock(l->mutex);
    l->da_scrivere.push_back(b);
    return true;
}

bool BackendHidReale::accessibile(HandleHid h) const {
    const auto n = nodi_.find(h);
    if (n == nodi_.end() || !prova_) return true;
    const int e = prova_(n->second.devnode);
    return e != EACCES && e != EPERM;
}

BackendHidReale::Lettore* BackendHidReale::assicura_lettore(HandleHid h) {
    if (auto it = lettori_.find(h); it != lettori_.end()) return it->second.get();
    auto n = nodi_.find(h);
    if (n == nodi_.end()) return nullptr;
    std::shared_ptr<AnelloReport> anello = anello_per(h);
    if (!anello) return nullptr;
    auto l = std::make_unique<Lettore>();
    l->handle = h;
    l->percorso = n->second.devnode;
    l->anello = std::move(anello);
    Lettore* p = l.get();
    lettori_[h] = std::move(l);
    p->thread = std::thread([this, p] { lavoro(p); });
    return p;
}

void BackendHidReale::ferma_lettore(HandleHid h) {
    auto it = lettori_.find(h);
    if (it == lettori_.end()) return;
    it->second->ferma = true;
    // Joined when the thread says it has ended, so the UI never waits on a read.
    if (it->second->finito) {
        if (it->second->thread.joinable()) it->second->thread.join();
    } else {
        in_chiusura_.push_back(std::move(it->second));
    }
    lettori_.erase(it);
}

void BackendHidReale::lettore_finito(HandleHid h) {
    for (auto it = in_chiusura_.begin(); it != in_chiusura_.end(); ++it) {
        if ((*it)->handle != h) continue;
        if ((*it)->thread.joinable()) (*it)->thread.join();
        in_chiusura_.erase(it);
        return;
    }
    // Ended on its own (open or read failure): the entry stays so the device is
    // not reopened behind the user's back; it goes with the device.
    if (auto it = lettori_.find(h); it != lettori_.end()) {
        it->second->finito = true;
        if (it->second->thread.joinable()) it->second->thread.join();
    }
}

BackendHidReale::Lettore* BackendHidReale::trova_lettore(HandleHid h) {
    if (auto it = lettori_.find(h); it != lettori_.end()) return it->second.get();
    for (auto& l : in_chiusura_)
        if (l->handle == h) return l.get();
    return nullptr;
}

void BackendHidReale::notizie_dai_lettori() {
    std::vector<HandleHid> da_sentire;
    for (const auto& [h, l] : lettori_) da_sentire.push_back(h);
    for (const auto& l : in_chiusura_) da_sentire.push_back(l->handle);
    for (HandleHid h : da_sentire) {
        // The messages run the user's handlers, which may stop readers (or open
        // a message box and come back here): each reader is looked up afresh,
        // and its end is taken once.
        Lettore* l = trova_lettore(h);
        if (!l || l->concluso) continue;
        const bool terminato = l->terminato.load();
        std::vector<QString> errori;
        QString apertura, guasto;
        {
            std::lock_guard<std::mutex> lock(l->mutex);
            errori.swap(l->errori);
            if (terminato) {
                apertura = l->errore_apertura;
                guasto = l->guasto;
            }
        }
        l->concluso = terminato;
        for (const QString& e : errori) emit errore(e);
        if (!terminato) continue;
        if (!apertura.isEmpty() && dispositivo(h) && dispositivo(h)->presente) emit errore(apertura);
        lettore_finito(h);
        if (guasto.isEmpty()) continue;
        QTimer::singleShot(RITARDO_ERRORE_LETTURA_MS, this, [this, h, guasto] {
            if (dispositivo(h) && dispositivo(h)->presente)
                emit errore(QStringLiteral("Lettura dalla scheda USB non riuscita: %1.\n"
                                           "Scollegare e ricollegare la scheda.")
                                .arg(guasto));
        });
    }
}

void BackendHidReale::lavoro(Lettore* l) {
    // Whatever the UI must hear goes into `l` under its mutex, and the queued
    // call names no data: Qt's hand-over of a posted event is invisible to
    // ThreadSanitizer, the mutex (and the join) are not.
    auto avvisa_ui = [this] { QMetaObject::invokeMethod(this, "notizie_dai_lettori", Qt::QueuedConnection); };

    std::unique_ptr<IoHid> io = fabbrica_();
    if (const int e = io->apri(l->percorso); e != 0) {
        {
            std::lock_guard<std::mutex> lock(l->mutex);
            l->errore_apertura = testo_errore_apertura(l->percorso, e);
        }
        l->terminato = true;
        avvisa_ui();
        return;
    }

    std::array<uint8_t, BYTE_REPORT_INGRESSO> report{};
    QString guasto;
    while (!l->ferma) {
        std::vector<std::array<uint8_t, BYTE_BUFFER_INVIO>> da_scrivere;
        {
            std::lock_guard<std::mutex> lock(l->mutex);
            da_scrivere.swap(l->da_scrivere);
        }
        for (const auto& b : da_scrivere) {
            if (io->scrivi(b.data(), b.size()) < 0) {
                {
                    std::lock_guard<std::mutex> lock(l->mutex);
                    l->errori.push_back(QStringLiteral("Invio del comando alla scheda USB non riuscito: %1.")
                                            .arg(io->ultimo_errore()));
                }
                avvisa_ui();
            }
        }
        const int n = io->leggi(report.data(), report.size(), ATTESA_LETTURA_MS);
        if (n > 0) {
            // A closed ring (reading off) or a full one keeps nothing, and a
            // full one is already waiting to be emptied: no wake-up for either.
            if (l->anello->metti(report.data(), static_cast<std::size_t>(n))) report_arrivato();
        } else if (n < 0) {
            guasto = io->ultimo_errore();
            break;
        }
    }
    io->chiudi();
    {
        std::lock_guard<std::mutex> lock(l->mutex);
        l->guasto = guasto;
    }
    l->terminato = true;
    avvisa_ui();
}

} // namespace vexa
