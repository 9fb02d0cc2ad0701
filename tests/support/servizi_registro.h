// What the HID tests need around the link window: services that record what
// the user would have seen, and a way to let queued notifications arrive.
#pragma once

#include "analysis/servizi.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <string>
#include <vector>

namespace vexa::test {

struct ServiziRegistro : IServizi {
    std::vector<std::string> messaggi, titoli, etichette;
    int beep_suonati = 0, start_spenti = 0;
    void messaggio(const std::string& testo, Icona, const std::string&) override { messaggi.push_back(testo); }
    void beep() override { ++beep_suonati; }
    void imposta_titolo_principale(const std::string& testo) override { titoli.push_back(testo); }
    void spegni_pulsante_start() override { ++start_spenti; }
    void imposta_spostamento(const std::string& testo) override { etichette.push_back(testo); }
};

// One block as the read path handed it to the decoder.
struct Blocco {
    int n_punti;
    std::vector<double> posizione;
    std::vector<float> dt;
};

// Delivers everything posted so far, and what that posts in turn.
inline void consegna() {
    for (int i = 0; i < 20; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

// Processes events for `ms` milliseconds of wall time.
inline void attendi(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

} // namespace vexa::test
