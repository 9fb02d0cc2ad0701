// A failure of the serial layer or of a board exchange: a number and a text for
// the user. The port throws it; each procedure that talks to the board decides
// whether to show it, skip it or stay silent.
#pragma once

#include <stdexcept>
#include <string>

namespace vexa {

// Numbers the callers test for. The texts are what the user reads.
inline constexpr int ERR_VALORE_NON_VALIDO = 380;    // settings string or property value refused
inline constexpr int ERR_PORTA_NON_VALIDA = 8002;    // no such port number
inline constexpr int ERR_PORTA_GIA_APERTA = 8005;    // opening a port that is open
inline constexpr int ERR_PORTA_OCCUPATA = 8010;      // the device exists but cannot be opened
inline constexpr int ERR_IMPOSTAZIONI_PORTA = 8015;  // the device refused the line settings
inline constexpr int ERR_PORTA_CHIUSA = 8018;        // operation on a closed port
inline constexpr int ERR_SCRITTURA = 8019;           // the device refused the bytes
inline constexpr int ERR_COLLEGAMENTO_PERSO = 8020;  // the device vanished (adapter unplugged)
inline constexpr int ERR_NESSUNA_RISPOSTA = 8100;    // the board did not answer in time

struct ErroreRuntime : std::runtime_error {
    ErroreRuntime(int n, const std::string& testo)
        : std::runtime_error(testo), numero(n), descrizione(testo) {}
    int numero;
    std::string descrizione;
};

} // namespace vexa
