// "pesi.ini" from any bytes: the reader either gives whole lists or says
// why not, and whatever it gives is written and read back unchanged. The
// checks of typed-in entries run on the same bytes.
#include "settings/formato_impostazioni.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view byte(reinterpret_cast<const char*>(data), size);
    const vexa::Lettura<vexa::ListeValori> letto = vexa::leggi_pesi(byte);
    if (letto.valore) {
        const vexa::Lettura<vexa::ListeValori> riletto = vexa::leggi_pesi(vexa::scrivi_pesi(*letto.valore));
        if (!riletto.valore || *riletto.valore != *letto.valore) __builtin_trap();
    } else if (letto.errore.empty()) {
        __builtin_trap();
    }
    (void)vexa::errore_voce(byte);
    (void)vexa::errore_nome_cartella(byte);
    return 0;
}
