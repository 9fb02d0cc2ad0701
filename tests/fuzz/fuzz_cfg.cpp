// An athlete's ".cfg" from any bytes: positions and folder read whole or not
// at all, and what is read is written and read back unchanged.
#include "settings/formato_impostazioni.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view byte(reinterpret_cast<const char*>(data), size);
    const vexa::Lettura<vexa::ConfigAtleta> letto = vexa::leggi_cfg(byte);
    if (letto.valore) {
        const vexa::Lettura<vexa::ConfigAtleta> riletto = vexa::leggi_cfg(vexa::scrivi_cfg(*letto.valore));
        if (!riletto.valore || riletto.valore->posizioni != letto.valore->posizioni ||
            riletto.valore->cartella_atleta != letto.valore->cartella_atleta)
            __builtin_trap();
    } else if (letto.errore.empty()) {
        __builtin_trap();
    }
    return 0;
}
