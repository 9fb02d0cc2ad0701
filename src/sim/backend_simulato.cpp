#include "backend_simulato.h"

#include "analysis/decodifica.h"

#include <cmath>
#include <cstdlib>

namespace vexa {

BackendHidSimulato::BackendHidSimulato(QObject* parent) : BackendHidComune(parent) {
    timer_.setInterval(10);
    connect(&timer_, &QTimer::timeout, this, &BackendHidSimulato::passo_temporizzato);
}

bool BackendHidSimulato::Connect() {
    if (connesso()) return true;
    inizia_notifiche();
    annuncia_presenti();
    return true;
}

bool BackendHidSimulato::Disconnect() {
    if (!connesso()) return true;
    ferma_notifiche();
    return true;
}

HandleHid BackendHidSimulato::collega(int vid, int pid, int tipo_scheda) {
    const HandleHid h = aggiungi(vid, pid);
    Scheda& s = schede_[h];
    s.tipo = tipo_scheda;
    return h;
}

void BackendHidSimulato::scollega(HandleHid h) {
    schede_.erase(h);
    rimuovi(h);
}

void BackendHidSimulato::imposta_serie(HandleHid h, const sim::DescrizioneSerie& d) {
    auto it = schede_.find(h);
    if (it != schede_.end()) it->second.serie = d;
}

void BackendHidSimulato::imposta_risposta_tipo(HandleHid h, bool risponde) {
    auto it = schede_.find(h);
    if (it != schede_.end()) it->second.risponde_tipo = risponde;
}

void BackendHidSimulato::imposta_accesso_negato(HandleHid h, bool negato) {
    auto it = schede_.find(h);
    if (it == schede_.end()) return;
    it->second.accesso_negato = negato;
    it->second.negato_segnalato = false;
}

bool BackendHidSimulato::accessibile(HandleHid h) const {
    auto it = schede_.find(h);
    return it == schede_.end() || !it->second.accesso_negato;
}

bool BackendHidSimulato::rifiuta(HandleHid h) {
    auto it = schede_.find(h);
    if (it == schede_.end() || !it->second.accesso_negato) return false;
    if (!it->second.negato_segnalato)
        posta_errore(QStringLiteral("Impossibile accedere alla scheda USB simulata: permesso negato."));
    it->second.negato_segnalato = true;
    return true;
}

bool BackendHidSimulato::SetReadNotify(HandleHid h, bool attiva) {
    // The real layer accepts the request and fails when it opens the node.
    if (attiva && rifiuta(h)) return dispositivo(h) && dispositivo(h)->presente;
    return BackendHidComune::SetReadNotify(h, attiva);
}

void BackendHidSimulato::invia_report(HandleHid h, const uint8_t* report64) {
    consegna_report(h, report64, BYTE_REPORT_INGRESSO);
}

bool BackendHidSimulato::WriteEx(int vid, int pid, const uint8_t* buffer9) {
    const HandleHid h = GetHandle(vid, pid);
    auto it = schede_.find(h);
    if (h == 0 || it == schede_.end() || rifiuta(h)) return false;
    std::array<uint8_t, BYTE_BUFFER_INVIO> b{};
    std::copy(buffer9, buffer9 + BYTE_BUFFER_INVIO, b.begin());
    ricevuti_.push_back(b);
    // The board reads the command up to the first zero byte.
    std::string comando;
    for (int i = 1; i < BYTE_BUFFER_INVIO && b[static_cast<std::size_t>(i)] != 0; ++i)
        comando += static_cast<char>(b[static_cast<std::size_t>(i)]);
    esegui(h, it->second, comando);
    return true;
}

void BackendHidSimulato::esegui(HandleHid h, Scheda& s, const std::string& comando) {
    if (comando == "$D") {
        if (!s.risponde_tipo) return;
        uint8_t r[BYTE_REPORT_INGRESSO] = {};
        r[1] = static_cast<uint8_t>(s.tipo);
        consegna_report(h, r, sizeof r);
    } else if (comando == "$F") {
        const sim::Serie serie = sim::sintetizza(s.serie, s.tipo, Collegamento::Hid);
        s.report = sim::report_hid(serie.record);
        s.fine_report_ms.clear();
        const float scala_tempo = scala_per_tipo(s.tipo).tempo;
        double t = 0;
        for (std::size_t k = 0; k < serie.record.size(); ++k) {
            t += std::abs(static_cast<double>(serie.record[k].intervallo)) * scala_tempo;
            if (k % RECORD_PER_REPORT_HID == RECORD_PER_REPORT_HID - 1 || k + 1 == serie.record.size())
                s.fine_report_ms.push_back(t);
        }
        s.prossimo = 0;
        s.acquisisce = true;
        s.orologio.start();
        if (velocita_ > 0) timer_.start();
    } else if (comando == "$T") {
        s.acquisisce = false;
    }
    // Other commands get no answer over USB.
}

void BackendHidSimulato::imposta_velocita(double fattore) {
    velocita_ = fattore > 0 ? fattore : 0;
    if (velocita_ == 0) timer_.stop();
    else timer_.start();
}

int BackendHidSimulato::avanza(HandleHid h, int n) {
    auto it = schede_.find(h);
    if (it == schede_.end() || !it->second.acquisisce || n <= 0) return 0;
    return manda(h, it->second, it->second.prossimo + static_cast<std::size_t>(n));
}

int BackendHidSimulato::manda(HandleHid h, Scheda& s, std::size_t fino_a) {
    const std::size_t totale = s.report.size() / BYTE_REPORT_INGRESSO;
    fino_a = std::min(fino_a, totale);
    int mandati = 0;
    while (s.prossimo < fino_a) {
        consegna_report(h, &s.report[s.prossimo * BYTE_REPORT_INGRESSO], BYTE_REPORT_INGRESSO);
        ++s.prossimo;
        ++mandati;
    }
    if (mandati > 0 && s.prossimo == totale) emit serie_finita(h); // `s` may be gone after this
    return mandati;
}

void BackendHidSimulato::passo_temporizzato() {
    // Sending may run slots that plug or unplug boards: look each one up afresh.
    std::vector<HandleHid> attive;
    for (const auto& [h, s] : schede_)
        if (s.acquisisce) attive.push_back(h);
    if (attive.empty()) timer_.stop();
    for (HandleHid h : attive) {
        auto it = schede_.find(h);
        if (it == schede_.end() || !it->second.acquisisce) continue;
        Scheda& s = it->second;
        const double ora_ms = static_cast<double>(s.orologio.elapsed()) * velocita_;
        std::size_t fino_a = s.prossimo;
        while (fino_a < s.fine_report_ms.size() && s.fine_report_ms[fino_a] <= ora_ms) ++fino_a;
        manda(h, s, fino_a);
    }
}

bool BackendHidSimulato::in_acquisizione(HandleHid h) const {
    auto it = schede_.find(h);
    return it != schede_.end() && it->second.acquisisce;
}

int BackendHidSimulato::report_rimanenti(HandleHid h) const {
    auto it = schede_.find(h);
    if (it == schede_.end()) return 0;
    return static_cast<int>(it->second.report.size() / BYTE_REPORT_INGRESSO - it->second.prossimo);
}

} // namespace vexa
