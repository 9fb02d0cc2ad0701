// An in-process HID layer with simulated boards: nothing leaves the process,
// devices are plugged and unplugged by calling methods, and a board answers the
// commands it receives as output reports. "$D" gets a report carrying the board
// type in its first byte (buffer index 2 once the report ID is in front); "$F"
// starts streaming a synthesised set, eight records per report; "$T" stops it.
//
// Streaming is paced either by a timer (the demo: real time, or sped up) or by
// the caller (tests: `avanza` hands over a given number of reports at once).
#pragma once

#include "device/hid/backend_hid.h"
#include "sintetizzatore.h"

#include <QElapsedTimer>
#include <QTimer>

#include <string>
#include <vector>

namespace vexa {

class BackendHidSimulato : public BackendHidComune {
    Q_OBJECT
public:
    explicit BackendHidSimulato(QObject* parent = nullptr);

    bool Connect() override;
    bool Disconnect() override;
    bool WriteEx(int vid, int pid, const uint8_t* buffer9) override;
    bool SetReadNotify(HandleHid h, bool attiva) override;
    bool accessibile(HandleHid h) const override;

    // Plugs in a device. Only devices with the board's IDs receive commands, but
    // any device is announced.
    HandleHid collega(int vid = VID_SCHEDA, int pid = PID_SCHEDA, int tipo_scheda = 1);
    void scollega(HandleHid h);
    // The set a board streams after "$F" (each "$F" starts it from the beginning).
    void imposta_serie(HandleHid h, const sim::DescrizioneSerie& d);
    // A board that leaves "$D" unanswered (an older firmware, or a report lost).
    void imposta_risposta_tipo(HandleHid h, bool risponde);
    // A board this user may not open, as a hidraw node without the udev rule's
    // access is. As on the real layer, reading from it or sending to it gets
    // one error for the user and nothing else: no reports, no commands taken.
    void imposta_accesso_negato(HandleHid h, bool negato);
    // The board sends this 64-byte report (no report ID) now.
    void invia_report(HandleHid h, const uint8_t* report64);

    // 0: reports go out only through `avanza`; otherwise the set is played on a
    // timer at this multiple of real time.
    void imposta_velocita(double fattore);
    // While streaming, the board sends its next `n` reports; returns how many it sent.
    int avanza(HandleHid h, int n);
    bool in_acquisizione(HandleHid h) const;
    // Reports of the current set not sent yet.
    int report_rimanenti(HandleHid h) const;
    // Every output report that reached a board, in order.
    const std::vector<std::array<uint8_t, BYTE_BUFFER_INVIO>>& ricevuti() const { return ricevuti_; }

signals:
    // The streamed set has been sent to its end (the board keeps acquiring).
    void serie_finita(vexa::HandleHid h);

private:
    struct Scheda {
        int tipo = 1;
        bool risponde_tipo = true;
        bool accesso_negato = false;
        bool negato_segnalato = false;
        sim::DescrizioneSerie serie;
        bool acquisisce = false;
        std::vector<uint8_t> report;       // the set, 64 bytes a report
        std::vector<double> fine_report_ms; // board time at the end of each report
        std::size_t prossimo = 0;
        QElapsedTimer orologio;
    };
    void esegui(HandleHid h, Scheda& s, const std::string& comando);
    void passo_temporizzato();
    int manda(HandleHid h, Scheda& s, std::size_t fino_a);
    // True, after telling the user once, when `h` is a board refused to this user.
    bool rifiuta(HandleHid h);

    std::map<HandleHid, Scheda> schede_;
    std::vector<std::array<uint8_t, BYTE_BUFFER_INVIO>> ricevuti_;
    double velocita_ = 0;
    QTimer timer_;
};

} // namespace vexa
