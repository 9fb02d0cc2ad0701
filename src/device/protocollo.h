// The board's command protocol: commands on the active link, reply waits that
// keep the program responsive, the port probe, the board type and information
// block, start and stop of acquisition, and the serial receive event that cuts
// the sample stream into blocks for the analysis.
#pragma once

#include "analysis/analisi.h"
#include "analysis/inquadramento_seriale.h"
#include "analysis/stato.h"
#include "link_hid.h"
#include "porta.h"
#include "analysis/servizi.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QEventLoop;

namespace vexa {

// Texts the user reads.
inline constexpr const char* MSG_NON_COLLEGATO = "Apparato non collegato o spento!";
inline constexpr const char* MSG_NON_RICONOSCIUTO = "dispositivo non riconosciuto: DEFAULT TIPO 3!!";
inline constexpr const char* TITOLO_VEXA = "Vexa Meter";
inline constexpr const char* PEZZO_TIPO = " Scheda tipo ";

class Protocollo : public QObject {
    Q_OBJECT
public:
    // `hid` may be null when there is no HID link. The port's event hooks are
    // taken over by this object.
    Protocollo(Stato& stato, IPorta& porta, IServizi& servizi, ILinkHid* hid = nullptr,
               QObject* parent = nullptr);
    ~Protocollo() override;

    void imposta_link_hid(ILinkHid* hid) { hid_ = hid; }
    // Where the receive event hands the blocks; also gets the port's backlog.
    void imposta_analisi(Analizzatore* analisi);
    // Empties the previous trial when an acquisition starts (azzera_prova with the trial window).
    std::function<void()> azzera_prova;
    // Told after the link was lost and the state updated (e.g. to refresh windows).
    std::function<void()> su_collegamento_perso;
    // Settling time after opening a port before probing it.
    int attesa_apertura_ms = 500;

    IPorta& porta() { return porta_; }

    void Invia_comando(const std::string& comando);
    void Svuota_ingresso();
    uint8_t Leggi_byte();
    std::vector<uint8_t> Leggi_risposta(int16_t n);
    void Attendi_ms(float ms);
    static int32_t Byte_a_intero(uint8_t basso, uint8_t alto) { return basso + 256 * alto; }
    static std::string Byte_a_stringa(const std::vector<uint8_t>& b) { return {b.begin(), b.end()}; }

    bool Verifica_porta();
    void Rileva_tipo_scheda();
    void Leggi_info_scheda();
    void Avvia_acquisizione();
    void Ferma_acquisizione();
    // "Reset Pos": the board's displacement back to zero.
    void Azzera_spostamento();

    // The serial receive event (threshold reached). `anche_l_ultimo`: the
    // stream has paused, so the newest block need not wait for the next byte.
    void Porta_OnComm(bool anche_l_ultimo = false);
    // Finds the records in the serial stream; started afresh with each acquisition.
    const InquadramentoSeriale& inquadramento() const { return inquadramento_; }
    // The line has paused (the load stands still, the acquisition stops):
    // the newest block and the records the framing holds for the next ones to
    // confirm go to the analysis now, since nothing may come for a long time.
    void rilascia_in_attesa();

    // Reply wait timer: its tick ends the innermost wait.
    QTimer Timer_Seriale;

signals:
    void dati_arrivati();

private:
    struct Attesa;
    void controlla(Attesa& a);
    void termina(Attesa& a);
    void riprendi(Attesa& a);
    void Timer_Seriale_Timer();
    void Collegamento_perso(const ErroreRuntime& e);
    void consegna_record(int per_blocco);
    void prendi_il_resto();
    void nota_scarti();

    Stato& s_;
    IPorta& porta_;
    IServizi& servizi_;
    ILinkHid* hid_;
    Analizzatore* analisi_ = nullptr;
    char separatore_ = '.';
    QElapsedTimer orologio_;
    std::vector<Attesa*> attese_; // innermost last
    bool porta_persa_ = false;
    InquadramentoSeriale inquadramento_;
    std::vector<uint8_t> record_; // records found in step, not yet handed over
    // Restarted by every receive event: when it runs out the line is quiet
    // and what waits is handed on (rilascia_in_attesa).
    QTimer pausa_;
    bool in_ricezione_ = false; // inside the receive event: a stop from the analysis
    int64_t scarti_noti_ = 0;
    int64_t riallineamenti_noti_ = 0;
    bool scarti_detti_ = false; // the coach has been told in this acquisition
};

} // namespace vexa
