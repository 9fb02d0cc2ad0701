// Any bytes through the reader of saved sets that rebuilds the history: a
// results file, and after a NUL byte the velocity-training file beside it.
// They must give a set or a message, never a crash or a hang; a set's figures
// come only from repetitions the results list.
#include "storico/serie_letta.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vexa;
    const std::string_view tutto(reinterpret_cast<const char*>(data), size);
    const std::size_t nul = tutto.find('\0');
    std::optional<std::string_view> vbt;
    if (nul != std::string_view::npos) vbt = tutto.substr(nul + 1);
    const auto letta = leggi_serie(tutto.substr(0, nul), vbt);
    if (const auto* messaggio = std::get_if<std::string>(&letta)) {
        if (messaggio->empty()) std::abort();
        return 0;
    }
    const SerieLetta& s = std::get<SerieLetta>(letta);
    if (s.con_vbt != (vbt && s.avviso.empty())) std::abort();
    if (!s.con_vbt)
        for (const RipetizioneSerie& r : s.ripetizioni)
            if (r.vbt.vmp || r.vbt.perdita) std::abort();
    if (s.ripetizioni.empty() && (s.vmedia_migliore() || s.perdita_finale())) std::abort();
    return 0;
}
