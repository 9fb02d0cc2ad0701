// Any bytes through the reader of "Apri...": they must give a trial or a
// message, never a crash or a hang; a trial must replay through the analysis
// and, written again, read back as the same number of samples.
#include "analysis/analisi.h"
#include "analysis/vista_memoria.h"
#include "trials/file_prova.h"
#include "trials/riproduzione.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vexa;
    const auto letta = leggi_file_prova(std::string_view(reinterpret_cast<const char*>(data), size));
    if (const auto* messaggio = std::get_if<std::string>(&letta)) {
        if (messaggio->empty()) std::abort();
        return 0;
    }
    const ProvaLetta& p = std::get<ProvaLetta>(letta);
    Stato s;
    s.ampiezza_min = size % 2 ? 100 : 20;
    s.vel_max = 1000;
    s.limite_sup = 110;
    s.limite_inf = 90;
    ProvaMemoria prova;
    Analizzatore a(s, prova.vista);
    riproduci_campioni(p.campioni, s, prova.vista, a);
    if (s.n_campioni != static_cast<int32_t>(p.campioni.size())) std::abort();

    for (char sep : {'.', ','}) {
        FormatoLocale f;
        f.separatore = sep;
        const auto di_nuovo = leggi_file_prova(testo_file_intero(s.campioni, s.n_campioni, f));
        const auto* q = std::get_if<ProvaLetta>(&di_nuovo);
        if (!q || q->campioni.size() != p.campioni.size()) std::abort();
    }
    return 0;
}
