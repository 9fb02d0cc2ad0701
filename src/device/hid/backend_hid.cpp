#include "backend_hid.h"

#include "analysis/decodifica.h"
#include "log_hid.h"

#include <QMetaObject>

#include <algorithm>

namespace vexa {

std::size_t IBackendHid::LeggiLotto(HandleHid h, const RiceviReport& ricevi, std::size_t massimo) {
    std::size_t presi = 0;
    uint8_t buffer[BYTE_REPORT_INGRESSO + 1];
    // Read looks the device up every time: a handler may have seen it go.
    while (presi < massimo && Read(h, buffer)) {
        ++presi;
        ricevi(buffer + 1);
    }
    return presi;
}

BackendHidComune::BackendHidComune(QObject* parent) : IBackendHid(parent) {
    tick_.setInterval(PERIODO_RACCOLTA_MS);
    connect(&tick_, &QTimer::timeout, this, [this] { raccogli(); });
}

int BackendHidComune::GetVendorID(HandleHid h) const {
    const Dispositivo* d = dispositivo(h);
    return d ? d->vid : 0;
}

int BackendHidComune::GetProductID(HandleHid h) const {
    const Dispositivo* d = dispositivo(h);
    return d ? d->pid : 0;
}

HandleHid BackendHidComune::GetHandle(int vid, int pid) const {
    for (const auto& [h, d] : dispositivi_)
        if (d.presente && d.vid == vid && d.pid == pid) return h;
    return 0;
}

bool BackendHidComune::SetReadNotify(HandleHid h, bool attiva) {
    Dispositivo* d = dispositivo(h);
    if (!d || !d->presente) return false;
    if (attiva && !d->notifica_lettura) {
        anello_per(h);
        // A report that slipped in while the ring was closing belongs to the
        // time reading was off.
        d->anello->scarta();
    }
    d->notifica_lettura = attiva;
    if (d->anello) {
        d->anello->apri(attiva && connesso_);
        if (!attiva) d->anello->scarta();
    }
    return true;
}

bool BackendHidComune::Read(HandleHid h, uint8_t* buffer65) {
    Dispositivo* d = dispositivo(h);
    if (!d || !d->anello || !d->anello->togli(buffer65 + 1)) return false;
    buffer65[0] = 0;
    return true;
}

std::size_t BackendHidComune::report_in_attesa(HandleHid h) const {
    const Dispositivo* d = dispositivo(h);
    return d && d->anello ? d->anello->in_attesa() : 0;
}

uint64_t BackendHidComune::report_persi(HandleHid h) const {
    const Dispositivo* d = dispositivo(h);
    return d && d->anello ? d->anello->persi() : 0;
}

std::shared_ptr<AnelloReport> BackendHidComune::anello_per(HandleHid h) {
    Dispositivo* d = dispositivo(h);
    if (!d || !d->presente) return nullptr;
    if (!d->anello) {
        d->anello = std::make_shared<AnelloReport>();
        d->anello->apri(false);
    }
    return d->anello;
}

void BackendHidComune::inizia_notifiche() {
    connesso_ = true;
    ++generazione_;
    for (auto& [h, d] : dispositivi_)
        if (legge(d)) d.anello->apri(true);
}

void BackendHidComune::ferma_notifiche() {
    connesso_ = false;
    ++generazione_;
    tick_.stop();
    sveglia_armata_.store(true);
    // Removed devices were kept only so their removal could be identified by
    // whoever handles it; with no delivery left they can go.
    for (auto it = dispositivi_.begin(); it != dispositivi_.end();) {
        if (!it->second.presente) {
            it = dispositivi_.erase(it);
        } else {
            Dispositivo& d = it->second;
            d.notifica_lettura = false;
            if (d.anello) {
                d.anello->apri(false);
                d.anello->scarta();
            }
            d.perdita_detta = false;
            ++it;
        }
    }
}

HandleHid BackendHidComune::aggiungi(int vid, int pid) {
    const HandleHid h = prossimo_++;
    Dispositivo& d = dispositivi_[h];
    d.vid = vid;
    d.pid = pid;
    if (connesso_) {
        posta(HID_COLLEGATO, h);
        posta(HID_CAMBIATO, 0);
    }
    return h;
}

void BackendHidComune::rimuovi(HandleHid h) {
    Dispositivo* d = dispositivo(h);
    if (!d || !d->presente) return;
    d->presente = false;
    d->notifica_lettura = false;
    if (d->anello) {
        // The reader may still be finishing a read: it keeps the ring alive,
        // but nothing goes in any more and nothing comes out.
        d->anello->apri(false);
        d->anello->scarta();
        d->anello.reset();
    }
    if (!connesso_) {
        dispositivi_.erase(h);
        return;
    }
    // The entry stays until the removal has been handled, so the handler can
    // still ask whose device it was.
    const uint64_t g = generazione_;
    QMetaObject::invokeMethod(
        this,
        [this, g, h] {
            if (g != generazione_) return;
            emit notifica(HID_SCOLLEGATO, h);
            if (const Dispositivo* dd = dispositivo(h); dd && !dd->presente) dispositivi_.erase(h);
        },
        Qt::QueuedConnection);
    posta(HID_CAMBIATO, 0);
}

void BackendHidComune::annuncia_presenti() {
    bool qualcuno = false;
    for (const auto& [h, d] : dispositivi_) {
        if (!d.presente) continue;
        posta(HID_COLLEGATO, h);
        qualcuno = true;
    }
    if (qualcuno) posta(HID_CAMBIATO, 0);
}

void BackendHidComune::consegna_report(HandleHid h, const uint8_t* dati, std::size_t n) {
    Dispositivo* d = dispositivo(h);
    if (!connesso_ || !d || !legge(*d)) return;
    // A full ring counts the drop; the delivery below reports it.
    d->anello->metti(dati, n);
    if (!d->leggibile_in_volo) posta_leggibile(h, *d);
}

void BackendHidComune::report_arrivato() {
    // Sequentially consistent, as the ring's head was just moved: either this
    // sees the flag the tick raised as it stopped, or the tick, looking again,
    // sees the report (raccogli).
    if (!sveglia_armata_.load() || !sveglia_armata_.exchange(false)) return;
    sveglie_.fetch_add(1, std::memory_order_relaxed);
    QMetaObject::invokeMethod(this, "sveglia", Qt::QueuedConnection);
}

void BackendHidComune::sveglia() {
    avvia_raccolta();
    raccogli();
}

void BackendHidComune::avvia_raccolta() {
    sveglia_armata_.store(false);
    if (!tick_.isActive()) tick_.start();
}

void BackendHidComune::raccogli() {
    bool in_attesa = false;
    for (auto& [h, d] : dispositivi_) {
        if (!legge(d)) continue;
        controlla_perdite(h, d, false);
        if (d.anello->vuoto()) continue;
        in_attesa = true;
        if (!d.leggibile_in_volo) posta_leggibile(h, d);
    }
    if (in_attesa) return;

    // Quiet: the tick sleeps until a reader wakes it. What a burst dropped and
    // the once-a-second limit kept out of the log goes in now.
    for (auto& [h, d] : dispositivi_)
        if (legge(d)) controlla_perdite(h, d, true);
    tick_.stop();
    sveglia_armata_.store(true);
    // A report that arrived after the look above found the flag down and
    // posted nothing; this look (the ring's head is read sequentially
    // consistent) finds it. Whoever takes the flag back restarts the tick.
    for (auto& [h, d] : dispositivi_) {
        if (!legge(d) || d.anello->vuoto()) continue;
        if (sveglia_armata_.exchange(false)) tick_.start();
        return;
    }
}

void BackendHidComune::posta_leggibile(HandleHid h, Dispositivo& d) {
    d.leggibile_in_volo = true;
    const uint64_t g = generazione_;
    QMetaObject::invokeMethod(
        this,
        [this, g, h] {
            Dispositivo* d = dispositivo(h);
            if (!d) return;
            d->leggibile_in_volo = false;
            if (g == generazione_ && legge(*d)) {
                controlla_perdite(h, *d, false);
                if (!d->anello->vuoto()) emit notifica(HID_LEGGIBILE, h);
            }
            // What the handler left (it reads a bounded batch), or what came
            // meanwhile, is the tick's.
            d = dispositivo(h);
            if (d && legge(*d) && !d->anello->vuoto()) avvia_raccolta();
        },
        Qt::QueuedConnection);
}

void BackendHidComune::controlla_perdite(HandleHid h, Dispositivo& d, bool subito) {
    const uint64_t persi = d.anello->persi();
    if (persi != d.persi_visti && !d.perdita_detta) {
        // Every look before this one found nothing new: these are all the
        // drops of this connection.
        d.perdita_detta = true;
        const uint64_t pacchetti = persi - d.persi_visti;
        const uint64_t campioni = pacchetti * RECORD_PER_REPORT_HID;
        posta_errore(pacchetti == 1
                         ? QStringLiteral("Il programma non ha tenuto il passo della scheda USB: 1 pacchetto di "
                                          "campioni (%1 campioni) è andato perso. L'acquisizione continua.")
                               .arg(campioni)
                         : QStringLiteral("Il programma non ha tenuto il passo della scheda USB: %1 pacchetti di "
                                          "campioni (%2 campioni) sono andati persi. L'acquisizione continua.")
                               .arg(pacchetti)
                               .arg(campioni));
    }
    d.persi_visti = persi;
    if (persi == d.persi_registrati) return;
    // While the UI stays too slow, every tick finds a few more: one line a
    // second says as much.
    const auto ora = std::chrono::steady_clock::now();
    if (!subito && ora - d.ultimo_registro < std::chrono::seconds(1)) return;
    qCWarning(lcHid).noquote() << QStringLiteral("scheda USB %1: report persi ad anello pieno: %2 (%3 campioni), %4 in tutto")
                                      .arg(h)
                                      .arg(persi - d.persi_registrati)
                                      .arg((persi - d.persi_registrati) * RECORD_PER_REPORT_HID)
                                      .arg(persi);
    d.persi_registrati = persi;
    d.ultimo_registro = ora;
}

void BackendHidComune::posta(int evento, HandleHid h) {
    const uint64_t g = generazione_;
    QMetaObject::invokeMethod(
        this,
        [this, g, evento, h] {
            if (g == generazione_) emit notifica(evento, h);
        },
        Qt::QueuedConnection);
}

void BackendHidComune::posta_errore(const QString& testo) {
    // Queued like the notifications, so a message box never opens inside the
    // caller's operation and the order of events is kept.
    QMetaObject::invokeMethod(this, [this, testo] { emit errore(testo); }, Qt::QueuedConnection);
}

const BackendHidComune::Dispositivo* BackendHidComune::dispositivo(HandleHid h) const {
    auto it = dispositivi_.find(h);
    return it == dispositivi_.end() ? nullptr : &it->second;
}

BackendHidComune::Dispositivo* BackendHidComune::dispositivo(HandleHid h) {
    auto it = dispositivi_.find(h);
    return it == dispositivi_.end() ? nullptr : &it->second;
}

} // namespace vexa
