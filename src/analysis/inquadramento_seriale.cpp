#include "inquadramento_seriale.h"

#include <algorithm>
#include <cstdlib>

namespace vexa {

namespace {

// Records that must follow one another before an offset is taken as the
// records' own. Shifted by a few bytes, the board's data make a plausible
// record now and then (the low bytes of a slowly changing interval can step
// by six), but not several in a row; and hardly ever near where the load was.
constexpr int CATENA_VICINA = 4;    // found again near where the load was
constexpr int CATENA_LONTANA = 12;  // found again far from it (whole records were lost)
constexpr int TOLLERANZA = 1;       // counts; see record_plausibile

} // namespace

bool record_plausibile(int16_t prima, int16_t posizione, int32_t intervallo, int passo) {
    if (intervallo == 0) return false;
    // The counter wraps as a 16-bit number on the board too.
    const int mossa = static_cast<int16_t>(static_cast<uint16_t>(posizione - prima));
    const int attesa = intervallo > 0 ? passo : -passo;
    return std::abs(mossa - attesa) <= TOLLERANZA;
}

void InquadramentoSeriale::ricomincia() {
    buf_.clear();
    inizio_ = 0;
    c_e_ultimo_ = false;
    ultimo_ = 0;
    n_tenuti_ = 0;
    in_cerca_ = false;
    saltati_in_cerca_ = 0;
    finito_ = false;
    scartati_ = 0;
    riallineamenti_ = 0;
    in_passo_ = 0;
}

InquadramentoSeriale::Letto InquadramentoSeriale::leggi(std::size_t da) const {
    return {leggi_i16(&buf_[da]), leggi_i32(&buf_[da + 2])};
}

int InquadramentoSeriale::catena(std::size_t da, int quanti) const {
    const auto disponibili = static_cast<int>(std::min<std::size_t>((buf_.size() - da) / BYTE_RECORD_SERIALE, 1 << 20));
    int n = 0;
    Letto prima{};
    for (; n < quanti && n < disponibili; ++n) {
        const Letto r = leggi(da + static_cast<std::size_t>(n) * BYTE_RECORD_SERIALE);
        if (r.intervallo == 0) break;
        if (n > 0 && !record_plausibile(prima.posizione, r.posizione, r.intervallo, passo_)) break;
        prima = r;
    }
    return n;
}

// The newest record believed in step: the last held, or the last handed on.
bool InquadramentoSeriale::riferimento(int16_t& posizione) const {
    if (n_tenuti_ > 0) {
        posizione = leggi_i16(tenuti_[n_tenuti_ - 1]);
        return true;
    }
    posizione = ultimo_;
    return c_e_ultimo_;
}

bool InquadramentoSeriale::vicino(int16_t posizione, std::size_t saltati) const {
    // Each 6 bytes skipped may have held one record, one more was torn by the
    // damage, and the load may have turned meanwhile.
    int16_t rif = 0;
    riferimento(rif);
    const int mossa = std::abs(static_cast<int16_t>(static_cast<uint16_t>(posizione - rif)));
    const auto persi = static_cast<long long>(saltati / BYTE_RECORD_SERIALE) + 3;
    return mossa <= passo_ * persi + TOLLERANZA;
}

void InquadramentoSeriale::emetti_primo(std::vector<uint8_t>& record) {
    record.insert(record.end(), tenuti_[0], tenuti_[0] + BYTE_RECORD_SERIALE);
    ultimo_ = leggi_i16(tenuti_[0]);
    c_e_ultimo_ = true;
    for (int i = 1; i < n_tenuti_; ++i) std::copy(tenuti_[i], tenuti_[i] + BYTE_RECORD_SERIALE, tenuti_[i - 1]);
    --n_tenuti_;
}

void InquadramentoSeriale::tieni(std::size_t da, std::vector<uint8_t>& record) {
    std::copy(buf_.begin() + static_cast<std::ptrdiff_t>(da),
              buf_.begin() + static_cast<std::ptrdiff_t>(da + BYTE_RECORD_SERIALE), tenuti_[n_tenuti_]);
    ++n_tenuti_;
    ++in_passo_;
    inizio_ = da + BYTE_RECORD_SERIALE;
    if (n_tenuti_ > TENUTI) emetti_primo(record);
}

void InquadramentoSeriale::scarta(std::size_t n) {
    inizio_ += n;
    scartati_ += static_cast<int64_t>(n);
    saltati_in_cerca_ += n;
}

void InquadramentoSeriale::elabora(std::vector<uint8_t>& record) {
    for (;;) {
        const std::size_t disponibili = (buf_.size() - inizio_) / BYTE_RECORD_SERIALE;
        if (disponibili == 0) return;
        if (!in_cerca_) {
            const Letto r = leggi(inizio_);
            int16_t prima = 0;
            // The stream's first record has nothing before it: the next ones will say.
            const bool in_passo = riferimento(prima) ? record_plausibile(prima, r.posizione, r.intervallo, passo_)
                                                     : r.intervallo != 0;
            if (in_passo) {
                tieni(inizio_, record);
                continue;
            }
            // Six stray bytes can make a record that fits the one before it;
            // the next real one then fits the one before that instead.
            const bool altro = n_tenuti_ >= 2 || c_e_ultimo_;
            const int16_t prima_ancora = n_tenuti_ >= 2 ? leggi_i16(tenuti_[n_tenuti_ - 2]) : ultimo_;
            if (n_tenuti_ > 0 && altro && record_plausibile(prima_ancora, r.posizione, r.intervallo, passo_)) {
                --n_tenuti_;
                scartati_ += BYTE_RECORD_SERIALE;
                ++riallineamenti_;
                tieni(inizio_, record);
                continue;
            }
            in_cerca_ = true;
            saltati_in_cerca_ = 0;
        }

        // Out of step: the first offset from here at which records follow one another.
        const int vicina = finito_ ? std::min<int>(CATENA_VICINA, static_cast<int>(disponibili)) : CATENA_VICINA;
        const int lontana = finito_ ? std::min<int>(CATENA_LONTANA, static_cast<int>(disponibili)) : CATENA_LONTANA;
        if (static_cast<int>(disponibili) < vicina) return; // more bytes will tell
        const int n = catena(inizio_, lontana);
        int16_t rif = 0;
        const bool accanto = n >= vicina && (!riferimento(rif) || vicino(leggi(inizio_).posizione, saltati_in_cerca_));
        if (!accanto && n < lontana) {
            // Records in step as far as the bytes go, but far from the last:
            // wait for the longer chain that tells lost records from chance.
            if (n >= vicina && n == static_cast<int>(disponibili)) return;
            scarta(1);
            continue;
        }
        in_cerca_ = false;
        ++riallineamenti_;
        // Whole records lost after them (the load is further on, however far:
        // a port that dropped what nobody read) leave the held records whole;
        // bytes in the way may have torn them or made them up, and so may a
        // record that contradicts them where it stands.
        const int mossa = std::abs(static_cast<int16_t>(static_cast<uint16_t>(leggi(inizio_).posizione - rif)));
        if (saltati_in_cerca_ > 0 || mossa <= passo_ + TOLLERANZA) {
            scartati_ += static_cast<int64_t>(n_tenuti_) * BYTE_RECORD_SERIALE;
            n_tenuti_ = 0;
        }
        // The chain's first record may be theirs too: the tail of a torn
        // record and the bytes after it can make one that fits those after it.
        if (saltati_in_cerca_ > 0 && n >= 2) {
            inizio_ += BYTE_RECORD_SERIALE;
            scartati_ += BYTE_RECORD_SERIALE;
        }
        tieni(inizio_, record);
    }
}

void InquadramentoSeriale::aggiungi(const uint8_t* byte, std::size_t n, std::vector<uint8_t>& record) {
    // What has been used goes before the buffer grows; it holds only what waits.
    if (inizio_ > 0 && (inizio_ >= 4096 || inizio_ == buf_.size())) {
        buf_.erase(buf_.begin(), buf_.begin() + static_cast<std::ptrdiff_t>(inizio_));
        inizio_ = 0;
    }
    buf_.insert(buf_.end(), byte, byte + n);
    elabora(record);
}

void InquadramentoSeriale::rilascia(std::vector<uint8_t>& record) {
    if (in_cerca_) return;
    while (n_tenuti_ > 0) emetti_primo(record);
}

std::size_t InquadramentoSeriale::fine(std::vector<uint8_t>& record) {
    finito_ = true;
    elabora(record);
    // Nothing comes to contradict the newest records.
    while (n_tenuti_ > 0) emetti_primo(record);
    const std::size_t resto = buf_.size() - inizio_;
    buf_.clear();
    inizio_ = 0;
    return resto;
}

} // namespace vexa
