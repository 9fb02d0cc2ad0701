// The device link's services on a console, for the demo programs: every
// message, caption, beep and start switch-off is printed; the live label is kept.
#pragma once

#include "analysis/servizi.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <string>

namespace vexa {

class ServiziConsole : public IServizi {
public:
    void messaggio(const std::string& testo, Icona, const std::string&) override {
        std::printf("[messaggio] %s\n", testo.c_str());
    }
    void beep() override { std::printf("[beep]\n"); }
    void imposta_titolo_principale(const std::string& testo) override {
        std::printf("[titolo] %s\n", testo.c_str());
    }
    void spegni_pulsante_start() override { std::printf("[start spento]\n"); }
    void imposta_spostamento(const std::string& testo) override { etichetta = testo; }
    std::string etichetta; // the last text of the live position label
};

// Processes events for `ms` milliseconds of wall time, as the program's waits do.
inline void attendi_eventi(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

} // namespace vexa
