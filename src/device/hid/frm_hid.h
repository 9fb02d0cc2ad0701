// frm_hid: the USB HID link window. It owns the HID layer's connection, turns
// its notifications into the board's plug-in state, the caption of the main
// window and the read path up to the block decoder, and sends the board's
// commands as output reports. Start-up shows it briefly as "Testing..HID";
// afterwards it stays hidden for as long as the USB link is in use.
#pragma once

#include "backend_hid.h"
#include "lettura_hid.h"
#include "device/link_hid.h"
#include "analysis/servizi.h"
#include "analysis/decodifica.h"
#include "analysis/stato.h"

#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <string>

class QPushButton;

namespace vexa {

class Analizzatore;

// Failures of a send, as the board protocol's failure handling receives them.
inline constexpr int ERR_COMANDO_TROPPO_LUNGO = 9; // more characters than the output report holds
inline constexpr int ERR_HID_NON_INVIATO = 8030;   // no board took the output report

class frm_hid : public QWidget, public ILinkHid {
    Q_OBJECT

private:
    // Ahead of the public members: `separatore` refers into it.
    LetturaHid lettura_;

public:
    using ElaboraBlocco = LetturaHid::ElaboraBlocco;

    // Creating the window connects it to `backend` (as loading it always has);
    // destroying it disconnects.
    frm_hid(Stato& stato, IServizi& servizi, std::unique_ptr<IBackendHid> backend,
            ElaboraBlocco elabora_blocco, QWidget* parent = nullptr);
    frm_hid(Stato& stato, IServizi& servizi, std::unique_ptr<IBackendHid> backend,
            Analizzatore& analizzatore, QWidget* parent = nullptr);
    ~frm_hid() override;

    // Returns what the layer's Connect/Disconnect returned.
    bool Connetti_hid();
    bool Disconnetti_hid();

    // The notification handler the layer is wired to.
    void Gestore_messaggi_hid(int evento, HandleHid handle);
    void OnPlugged(HandleHid handle);
    void OnUnplugged(HandleHid handle);
    void OnChanged();
    // Runs every waiting report of `handle` through the read path, oldest
    // first, up to MAX_REPORT_PER_LETTURA: each one lands in
    // buffer_ricezione_hid before LetturaHid sees it, so the last one stays
    // there for type detection.
    void OnRead(HandleHid handle);

    // Two seconds of the board: what one read takes at most, so catching up
    // after a stall leaves the window responsive. The rest comes at the
    // layer's next tick.
    static constexpr std::size_t MAX_REPORT_PER_LETTURA = 2000;

    // A board was found that this user may not open (its hidraw node without
    // the udev rule's access). It is not taken as the active link; whoever
    // chooses the link at start-up tells the user, with testo_accesso_negato
    // (empty when no such board is present). Cleared when that board goes.
    bool accesso_negato() const { return negata_ != 0; }
    std::string testo_accesso_negato() const;
    // Once start-up is over, such a board plugged in is said at once (once a
    // run): nobody else would tell the coach why it is not taken.
    bool avvisa_accesso_negato = false;

    // Sends `comando` (at most 8 characters) as an output report. Throws
    // ErroreRuntime, for the caller's failure handling, when the text is longer
    // (nothing is sent) or when no board took the report.
    void HID_invia_stringa(const std::string& comando) override;
    // Sends buffer_invio_hid to the board; throws as above when no board took it.
    void WriteSomeData();

    const std::array<uint8_t, BYTE_BUFFER_HID>& buffer_ricezione_hid() const override {
        return buffer_ricezione_hid_;
    }
    const std::array<uint8_t, BYTE_BUFFER_INVIO>& buffer_invio_hid() const { return buffer_invio_hid_; }

    IBackendHid& backend() { return *backend_; }
    LetturaHid& lettura() { return lettura_; }

    // Decimal separator of the live label (lettura().separatore); the system's
    // at construction.
    char& separatore;

    QPushButton* Command1 = nullptr; // "$F", start
    QPushButton* Command2 = nullptr; // "$T", stop
    void Command1_Click();
    void Command2_Click();

private:
    void prepara_invio(const std::string& comando);
    std::string testo_accesso_negato(bool all_avvio) const;
    void invia_da_pulsante(const char* comando);
    void aggiorna_titolo();
    bool e_la_scheda(HandleHid h) const;

    Stato& stato_;
    IServizi& servizi_;
    std::unique_ptr<IBackendHid> backend_;
    bool connesso_ = false;
    HandleHid negata_ = 0; // the board found but not accessible, 0 when none
    bool negata_detta_ = false;
    std::array<uint8_t, BYTE_BUFFER_HID> buffer_ricezione_hid_{};
    std::array<uint8_t, BYTE_BUFFER_INVIO> buffer_invio_hid_{};
};

} // namespace vexa
