#include "riproduzione.h"

#include <algorithm>

namespace vexa {

std::string riproduci_cattura(const std::vector<uint8_t>& cattura, Collegamento link,
                              int tipo_scheda, Stato& s, VistaProva& v, Analizzatore& a) {
    const ScalaScheda sc = scala_per_tipo(tipo_scheda);
    s.scala_posizione = sc.posizione;
    s.scala_tempo = sc.tempo;
    s.seriale_attiva = link == Collegamento::Seriale;
    s.hid_attivo = link == Collegamento::Hid;
    azzera_prova(s, v);
    s.acquisizione_in_corso = true;
    s.grafico_live = true;
    azzera_tempi(s);

    double pos[RECORD_PER_REPORT_HID];
    float dt[RECORD_PER_REPORT_HID];
    const std::size_t n = cattura.size();
    if (link == Collegamento::Seriale) {
        // Two records a block, as the serial receive event hands them over.
        std::size_t i = 0;
        for (; i + BYTE_BLOCCO_SERIALE <= n; i += BYTE_BLOCCO_SERIALE) {
            decodifica_seriale(&cattura[i], 2, s.scala_posizione, s.scala_tempo, pos, dt);
            a.Elabora_blocco(1, pos, dt);
        }
        if (n - i == BYTE_RECORD_SERIALE) {
            decodifica_seriale(&cattura[i], 1, s.scala_posizione, s.scala_tempo, pos, dt);
            a.Elabora_blocco(0, pos, dt);
        } else if (n - i != 0) {
            return "cattura seriale troncata: " + std::to_string(n - i) +
                   " byte in fondo non formano un record completo di 6 byte";
        }
    } else {
        uint8_t buffer[BYTE_BUFFER_HID] = {};
        std::size_t i = 0;
        for (; i + 64 <= n; i += 64) {
            std::copy(&cattura[i], &cattura[i] + 64, buffer + 1);
            decodifica_hid(buffer, s.scala_posizione, s.scala_tempo, pos, dt);
            a.Elabora_blocco(RECORD_PER_REPORT_HID - 1, pos, dt);
        }
        if (n - i != 0)
            return "cattura HID troncata: " + std::to_string(n - i) +
                   " byte in fondo non formano un report completo di 64 byte";
    }
    return {};
}

} // namespace vexa
