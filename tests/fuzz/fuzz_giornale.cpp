// Any bytes through the reader of a recording journal left behind: they must
// give the whole records before the first broken one, never a crash or a
// hang, and those records, written again, must read back the same.
#include "trials/giornale.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vexa;
    const std::string_view byte(reinterpret_cast<const char*>(data), size);
    const GiornaleLetto g = leggi_giornale(byte, 1 << 16);
    if (g.byte_validi > size || g.campioni.size() != static_cast<std::size_t>(g.n_campioni))
        std::abort();
    if (g.integro != (g.byte_validi == size && g.intestazione_letta)) std::abort();
    if (!g.integro && g.guasto.empty()) std::abort();
    if (!g.intestazione_letta) return 0;

    const std::string di_nuovo =
        inizio_giornale(g.intestazione) + record_campioni(0, g.campioni.data(), g.campioni.size());
    const GiornaleLetto h = leggi_giornale(di_nuovo, 1 << 16);
    if (!h.integro || h.n_campioni != g.n_campioni ||
        (g.n_campioni > 0 && std::memcmp(h.campioni.data(), g.campioni.data(),
                                         g.campioni.size() * sizeof(Campione)) != 0))
        std::abort();
    return 0;
}
