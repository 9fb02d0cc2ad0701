#include "riproduzione.h"

#include <algorithm>
#include <utility>

namespace vexa {

RiproduzioneCattura::RiproduzioneCattura(Collegamento link, int tipo_scheda, Stato& s, VistaProva& v,
                                         Analizzatore& a)
    : link_(link), s_(s), a_(a) {
    const ScalaScheda sc = scala_per_tipo(tipo_scheda);
    s.scala_posizione = sc.posizione;
    s.scala_tempo = sc.tempo;
    s.seriale_attiva = link == Collegamento::Seriale;
    s.hid_attivo = link == Collegamento::Hid;
    azzera_prova(s, v);
    s.acquisizione_in_corso = true;
    s.grafico_live = true;
    azzera_tempi(s);
}

void RiproduzioneCattura::blocco(const uint8_t* byte) {
    double pos[RECORD_PER_REPORT_HID];
    float dt[RECORD_PER_REPORT_HID];
    if (link_ == Collegamento::Seriale) {
        decodifica_seriale(byte, 2, s_.scala_posizione, s_.scala_tempo, pos, dt);
        a_.Elabora_blocco(1, pos, dt);
        record_ += 2;
    } else {
        uint8_t buffer[BYTE_BUFFER_HID] = {}; // report ID 0 in front, as the read hands it over
        std::copy(byte, byte + BYTE_BUFFER_HID - 1, buffer + 1);
        decodifica_hid(buffer, s_.scala_posizione, s_.scala_tempo, pos, dt);
        a_.Elabora_blocco(RECORD_PER_REPORT_HID - 1, pos, dt);
        record_ += RECORD_PER_REPORT_HID;
    }
}

void RiproduzioneCattura::blocchi_seriali(bool anche_l_ultimo) {
    const std::size_t n = in_passo_.size() / BYTE_BLOCCO_SERIALE * BYTE_BLOCCO_SERIALE;
    std::size_t k = 0;
    for (; k < n; k += BYTE_BLOCCO_SERIALE) blocco(in_passo_.data() + k);
    if (anche_l_ultimo && in_passo_.size() - k >= BYTE_RECORD_SERIALE) {
        // A capture may end after an odd record: the receive event takes it on its own.
        double pos[1];
        float dt[1];
        decodifica_seriale(in_passo_.data() + k, 1, s_.scala_posizione, s_.scala_tempo, pos, dt);
        a_.Elabora_blocco(0, pos, dt);
        ++record_;
        k += BYTE_RECORD_SERIALE;
    }
    in_passo_.erase(in_passo_.begin(), in_passo_.begin() + static_cast<std::ptrdiff_t>(k));
}

void RiproduzioneCattura::aggiungi(const uint8_t* byte, std::size_t n) {
    if (link_ == Collegamento::Seriale) {
        inquadramento_.aggiungi(byte, n, in_passo_);
        blocchi_seriali(false);
        return;
    }
    const std::size_t misura = BYTE_BUFFER_HID - 1;
    if (n_resto_ > 0) {
        const std::size_t presi = std::min(misura - n_resto_, n);
        std::copy(byte, byte + presi, resto_ + n_resto_);
        n_resto_ += presi;
        byte += presi;
        n -= presi;
        if (n_resto_ < misura) return;
        blocco(resto_);
        n_resto_ = 0;
    }
    for (; n >= misura; byte += misura, n -= misura) blocco(byte);
    std::copy(byte, byte + n, resto_);
    n_resto_ = n;
}

std::string RiproduzioneCattura::fine() {
    if (link_ == Collegamento::Seriale) {
        const std::size_t resto = inquadramento_.fine(in_passo_);
        blocchi_seriali(true);
        if (resto > 0)
            return "cattura seriale troncata dopo " + std::to_string(record_) + " record: gli ultimi " +
                   std::to_string(resto) + " byte non formano un record completo di 6 byte";
        return {};
    }
    if (const std::size_t resto = std::exchange(n_resto_, 0); resto > 0)
        return "cattura HID troncata dopo " + std::to_string(record_ / RECORD_PER_REPORT_HID) + " report (" +
               std::to_string(record_) + " record): gli ultimi " + std::to_string(resto) +
               " byte non formano un report completo di 64 byte";
    return {};
}

std::string riproduci_cattura(const std::vector<uint8_t>& cattura, Collegamento link,
                              int tipo_scheda, Stato& s, VistaProva& v, Analizzatore& a) {
    RiproduzioneCattura r(link, tipo_scheda, s, v, a);
    r.aggiungi(cattura.data(), cattura.size());
    return r.fine();
}

ProvaInteraInCorso::ProvaInteraInCorso(const FormatoLocale& f, std::function<void(std::string_view)> scrivi,
                                       std::function<void()> ricomincia, std::size_t soglia)
    : f_(f), scrivi_(std::move(scrivi)), ricomincia_(std::move(ricomincia)), soglia_(soglia),
      intestazione_(testo_file_intero({}, 0, f)) {}

void ProvaInteraInCorso::avvia(const Stato& s) {
    // The first counted top empties the recorded samples; what went out before
    // it goes too. It happens once a trial: the count of repetitions never
    // falls back to 0 after it.
    if (!base_avviata_ && s.rip_corrente >= 1) {
        base_avviata_ = true;
        if (usciti_ > 0) {
            ricomincia_();
            usciti_ = 0;
            intestazione_scritta_ = false;
        }
    }
    if (!intestazione_scritta_) {
        scrivi_(intestazione_);
        intestazione_scritta_ = true;
    }
}

void ProvaInteraInCorso::scrivi_campioni(Stato& s) {
    const auto n = static_cast<std::size_t>(std::max<int32_t>(s.n_campioni, 0));
    if (n == 0) return;
    const std::string testo = testo_file_intero(s.campioni, s.n_campioni, f_);
    scrivi_(std::string_view(testo).substr(intestazione_.size()));
    // Back to what an empty recording holds; the analysis appends from there.
    s.campioni.assign(1, Campione{});
    s.n_campioni = 0;
    usciti_ += static_cast<int64_t>(n);
}

void ProvaInteraInCorso::scarica(Stato& s) {
    avvia(s);
    if (s.n_campioni > 0 && static_cast<std::size_t>(s.n_campioni) > soglia_) scrivi_campioni(s);
}

void ProvaInteraInCorso::chiudi(Stato& s) {
    avvia(s);
    scrivi_campioni(s);
}

} // namespace vexa
