// What the device link needs of the rest of the program: the user's message
// boxes, the beep, the main window's caption, the start switch and the live
// position label. The real program implements it with widgets; tests record.
#pragma once

#include <string>

namespace vexa {

enum class Icona { Nessuna, Informazione, Esclamazione, Critico };

class IServizi {
public:
    virtual ~IServizi() = default;
    // A modal message box with an OK button. An empty title means the
    // application's standard title.
    virtual void messaggio(const std::string& testo, Icona icona = Icona::Nessuna,
                           const std::string& titolo = {}) = 0;
    virtual void beep() = 0;
    // Main window caption (the title followed by the link status).
    virtual void imposta_titolo_principale(const std::string& testo) = 0;
    // Switches the command panel's start button off, with what that triggers.
    virtual void spegni_pulsante_start() = 0;
    // The header panel's live position label (Lbl_spostamento).
    virtual void imposta_spostamento(const std::string& testo) = 0;
};

} // namespace vexa
