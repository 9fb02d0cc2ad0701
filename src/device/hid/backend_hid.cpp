#include "backend_hid.h"

#include <QMetaObject>

#include <algorithm>

namespace vexa {

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
    d->notifica_lettura = attiva;
    if (!attiva) d->coda.clear();
    return true;
}

bool BackendHidComune::Read(HandleHid h, uint8_t* buffer65) {
    Dispositivo* d = dispositivo(h);
    if (!d || d->coda.empty()) return false;
    buffer65[0] = 0;
    std::copy(d->coda.front().begin(), d->coda.front().end(), buffer65 + 1);
    d->coda.pop_front();
    return true;
}

std::size_t BackendHidComune::report_in_attesa(HandleHid h) const {
    const Dispositivo* d = dispositivo(h);
    return d ? d->coda.size() : 0;
}

void BackendHidComune::inizia_notifiche() {
    connesso_ = true;
    ++generazione_;
}

void BackendHidComune::ferma_notifiche() {
    connesso_ = false;
    ++generazione_;
    // Removed devices were kept only so their removal could be identified by
    // whoever handles it; with no delivery left they can go.
    for (auto it = dispositivi_.begin(); it != dispositivi_.end();) {
        if (!it->second.presente) {
            it = dispositivi_.erase(it);
        } else {
            it->second.notifica_lettura = false;
            it->second.coda.clear();
            ++it;
        }
    }
}

HandleHid BackendHidComune::aggiungi(int vid, int pid) {
    const HandleHid h = prossimo_++;
    dispositivi_[h] = Dispositivo{vid, pid, true, false, {}};
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
    d->coda.clear();
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
    if (!connesso_ || !d || !d->presente || !d->notifica_lettura) return;
    std::array<uint8_t, BYTE_REPORT_INGRESSO> r{};
    std::copy(dati, dati + std::min<std::size_t>(n, r.size()), r.begin());
    if (d->coda.size() >= MAX_REPORT_IN_CODA) d->coda.pop_front();
    d->coda.push_back(r);
    posta(HID_LEGGIBILE, h);
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
