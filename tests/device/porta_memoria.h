// Test doubles of the device link: a port whose other end is a script, a
// recorder of what the protocol shows the user, and a HID link.
#pragma once

#include "device/link_hid.h"
#include "device/porta.h"
#include "analysis/servizi.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>

#include <map>
#include <string>
#include <vector>

namespace vexa::prova {

// Keeps every test away from the user's own settings and program folder.
inline void isola_impostazioni(const QString& cartella) {
    QStandardPaths::setTestModeEnabled(true);
    qputenv("XDG_CONFIG_HOME", QDir(cartella).filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", QDir(cartella).filePath(QStringLiteral("data")).toLocal8Bit());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, cartella);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, cartella);
    QSettings("vexameter", "vexameter").clear();
}

inline std::vector<uint8_t> byte(const std::string& s) { return {s.begin(), s.end()}; }

class PortaMemoria : public IPorta {
public:
    struct Risposta {
        std::vector<uint8_t> byte;
        int ritardo_ms = 0;
    };
    // What the other end answers to each command written (in the order written).
    std::map<std::string, Risposta> risposte;
    std::vector<std::string> scritti;
    std::vector<std::string> impostazioni_applicate;
    bool esiste = true;
    // When set, which port numbers exist (instead of `esiste`).
    std::function<bool(int16_t)> porta_esiste;
    std::vector<int16_t> aperture; // every port an open was tried on
    bool dtr = false, rts = false, scarta_nul = true;

    void rispondi(const std::string& comando, const std::vector<uint8_t>& b, int ritardo_ms = 0) {
        risposte[comando] = {b, ritardo_ms};
    }

    // Bytes from the other end; as with the real port they never arrive inside a write.
    void arriva(const std::vector<uint8_t>& b) {
        if (!aperta_) return;
        ingresso_.insert(ingresso_.end(), b.begin(), b.end());
        if (auto f = su_dati) f();
        if (aperta_ && soglia_ > 0 && static_cast<int>(ingresso_.size()) >= soglia_)
            if (auto f = OnComm_ricezione) f();
    }
    void arriva_dopo(const std::vector<uint8_t>& b, int ms) {
        QTimer::singleShot(ms, [this, b] { arriva(b); });
    }
    // The adapter is pulled out.
    void perdi() {
        aperta_ = false;
        ingresso_.clear();
        if (auto f = su_dati) f();
        if (auto f = su_perdita) f(ErroreRuntime(ERR_COLLEGAMENTO_PERSO, "Collegamento con com1 perso"));
    }

    int16_t CommPort() const override { return porta_; }
    void setCommPort(int16_t p) override {
        if (aperta_) throw ErroreRuntime(ERR_PORTA_GIA_APERTA, "Porta già aperta");
        porta_ = p;
    }
    std::string Settings() const override {
        CampiImpostazioni c;
        scomponi_impostazioni(impostazioni_, c);
        return c.velocita + ',' + c.parita + ',' + c.bit_dati + ',' + c.bit_stop;
    }
    void setSettings(const std::string& s) override {
        CampiImpostazioni c;
        if (!scomponi_impostazioni(s, c)) throw ErroreRuntime(ERR_VALORE_NON_VALIDO, "Valore della proprietà non valido");
        impostazioni_applicate.push_back(s);
        if (c.bit_dati == "4") throw ErroreRuntime(ERR_IMPOSTAZIONI_PORTA, "Impostazioni non accettate dalla porta");
        impostazioni_ = s;
    }
    bool PortOpen() const override { return aperta_; }
    void setPortOpen(bool a) override {
        if (a && aperta_) throw ErroreRuntime(ERR_PORTA_GIA_APERTA, "Porta già aperta");
        if (a) aperture.push_back(porta_);
        if (a && !(porta_esiste ? porta_esiste(porta_) : esiste)) throw ErroreRuntime(ERR_PORTA_NON_VALIDA, "Numero di porta non valido");
        aperta_ = a;
        ingresso_.clear();
    }
    int16_t Handshaking() const override { return flusso_; }
    void setHandshaking(int16_t f) override { flusso_ = f; }
    void setDTREnable(bool a) override { dtr = a; }
    void setRTSEnable(bool a) override { rts = a; }
    void setNullDiscard(bool s) override { scarta_nul = s; }
    ModoIngresso InputMode() const override { return modo_; }
    void setInputMode(ModoIngresso m) override { modo_ = m; }
    int16_t InputLen() const override { return lunghezza_; }
    void setInputLen(int16_t n) override { lunghezza_ = n; }
    int16_t RThreshold() const override { return soglia_; }
    void setRThreshold(int16_t n) override { soglia_ = n; }
    int InBufferCount() const override {
        if (!aperta_) throw ErroreRuntime(ERR_PORTA_CHIUSA, "Operazione possibile solo con la porta aperta");
        return static_cast<int>(ingresso_.size());
    }
    std::vector<uint8_t> Input() override {
        InBufferCount();
        const std::size_t n = lunghezza_ == 0 ? ingresso_.size()
                                              : std::min<std::size_t>(static_cast<std::size_t>(lunghezza_), ingresso_.size());
        std::vector<uint8_t> out(ingresso_.begin(), ingresso_.begin() + static_cast<std::ptrdiff_t>(n));
        ingresso_.erase(ingresso_.begin(), ingresso_.begin() + static_cast<std::ptrdiff_t>(n));
        return out;
    }
    void Output(const std::string& testo) override {
        InBufferCount();
        scritti.push_back(testo);
        if (auto r = risposte.find(testo); r != risposte.end()) arriva_dopo(r->second.byte, r->second.ritardo_ms);
    }
    std::string dispositivo(int16_t p) const override { return p == 3 ? "/dev/ttyFINTA" : ""; }

    std::size_t in_attesa() const { return ingresso_.size(); }

private:
    bool aperta_ = false;
    int16_t porta_ = 1;
    std::string impostazioni_ = "115200,n,8,1";
    int16_t flusso_ = 0;
    ModoIngresso modo_ = ModoIngresso::Testo;
    int16_t lunghezza_ = 0, soglia_ = 0;
    std::vector<uint8_t> ingresso_;
};

class ServiziRegistro : public IServizi {
public:
    struct Messaggio {
        std::string testo;
        Icona icona;
        std::string titolo;
    };
    std::vector<Messaggio> messaggi;
    std::vector<std::string> titoli, spostamenti;
    int beep_fatti = 0;
    int start_spento = 0;

    void messaggio(const std::string& t, Icona i, const std::string& ti) override { messaggi.push_back({t, i, ti}); }
    void beep() override { ++beep_fatti; }
    void imposta_titolo_principale(const std::string& t) override { titoli.push_back(t); }
    void spegni_pulsante_start() override { ++start_spento; }
    void imposta_spostamento(const std::string& t) override { spostamenti.push_back(t); }
};

class LinkHidFinto : public ILinkHid {
public:
    std::vector<std::string> inviati;
    std::array<uint8_t, 65> buffer{};
    void HID_invia_stringa(const std::string& c) override { inviati.push_back(c); }
    const std::array<uint8_t, 65>& buffer_ricezione_hid() const override { return buffer; }
};

} // namespace vexa::prova
