#include "sorveglianza_vbt.h"

#include "frm_grafici.h"

#include <QElapsedTimer>
#include <QTimer>
#include <limits>
#include <memory>

namespace vexa {

SorveglianzaVbt::SorveglianzaVbt(Stato& stato, Analizzatore& analisi, Frm_grafici& grafici, ISuono& tono_stop,
                                 QObject* parent)
    : QObject(parent), s_(stato), a_(analisi), g_(grafici), tono_(tono_stop) {
    auto orologio = std::make_shared<QElapsedTimer>();
    orologio->start();
    orologio_ms = [orologio] { return orologio->elapsed(); };
    timer_ = new QTimer(this);
    // A tenth of the shortest wait (one 1 mm step at 15 mm/s): the provisional
    // figures come within a few frames of the moment they can.
    timer_->setInterval(10);
    connect(timer_, &QTimer::timeout, this, &SorveglianzaVbt::controlla);
}

void SorveglianzaVbt::collega(Frm_vbt* finestra) {
    finestra_ = finestra;
    if (!finestra) return;
    ListaValori* lista = g_.Lst_valori[0];
    finestra->su_selezione = [this, lista](int riga) {
        lista->setCurrentRow(riga);
        g_.Allinea_liste(0);
    };
    connect(lista, &ListaValori::currentRowChanged, finestra, &Frm_vbt::seleziona, Qt::UniqueConnection);
    aggiorna_finestra();
}

void SorveglianzaVbt::aggiorna_finestra() {
    if (!finestra_) return;
    finestra_->aggiorna(ultima_, tipo_);
    finestra_->seleziona(g_.Lst_valori[0]->currentRow());
}

void SorveglianzaVbt::aggiungi(const IndiciVbt&) {
    // The listing has already put the repetition on the slide and the readout.
    if (tipo_ != UltimaVbt::Nessuna) togli_provvisoria(false);
    aggiorna_finestra();
}

void SorveglianzaVbt::cancella() {
    if (tipo_ != UltimaVbt::Nessuna) togli_provvisoria(false);
    g_.Slide->imposta_stop(false);
    aggiorna_finestra();
}

void SorveglianzaVbt::stop(const IndiciVbt&) {
    g_.Slide->imposta_stop(true);
    tono_.beep();
    aggiorna_finestra();
}

void SorveglianzaVbt::acquisizione_avviata() {
    campioni_ = a_.campioni_analizzati();
    in_attesa_ = byte_in_attesa ? byte_in_attesa() : 0;
    ultimo_record_ms_ = orologio_ms();
    timer_->start();
}

void SorveglianzaVbt::controlla() {
    if (!s_.acquisizione_in_corso) {
        timer_->stop();
        fine_acquisizione();
        return;
    }
    const qint64 ora = orologio_ms();
    const uint64_t n = a_.campioni_analizzati();
    const int attesa = byte_in_attesa ? byte_in_attesa() : 0;
    if (n != campioni_ || attesa != in_attesa_) {
        // A record came, to the analysis or to the port.
        const bool analizzati = n != campioni_;
        campioni_ = n;
        in_attesa_ = attesa;
        ultimo_record_ms_ = ora;
        // The bar moved on without a top: what was shown is not the repetition.
        if (analizzati && tipo_ == UltimaVbt::Provvisoria) togli_provvisoria(true);
        return;
    }
    if (tipo_ != UltimaVbt::Nessuna) return;
    const double secondi = static_cast<double>(ora - ultimo_record_ms_) / 1000;
    auto f = a_.ripetizione_provvisoria(secondi);
    if (f && attesa > 0 && consegna_in_attesa) {
        // The last records of the rise are still in the port: the analysis
        // takes them first, or the repetition would be shown short of its top.
        consegna_in_attesa();
        campioni_ = a_.campioni_analizzati();
        in_attesa_ = byte_in_attesa ? byte_in_attesa() : 0;
        f = a_.ripetizione_provvisoria(secondi);
    }
    if (f) mostra_provvisoria(*f);
}

void SorveglianzaVbt::fine_acquisizione() {
    if (tipo_ == UltimaVbt::Provvisoria) togli_provvisoria(true);
    // No record will come now: a rise above the minimum amplitude is the
    // set's last repetition, which only the window can show.
    if (auto f = a_.ripetizione_provvisoria(std::numeric_limits<double>::infinity())) {
        ultima_ = *f;
        tipo_ = UltimaVbt::NonElencata;
    }
    aggiorna_finestra();
}

void SorveglianzaVbt::mostra_provvisoria(const IndiciVbt& f) {
    SlideWidget* slide = g_.Slide;
    NumericoWidget* numero = g_.Num_vel;
    prima_ = {slide->valore(), numero->valore(), slide->colore_puntatore(1), numero->colore()};
    const int32_t colore = colore_limiti(f.vmedia_conc, s_.vel_max, s_.limite_sup, s_.limite_inf);
    slide->imposta_valore(static_cast<double>(f.vmedia_conc));
    slide->imposta_colore_puntatore(1, colore);
    slide->imposta_provvisorio(true);
    numero->imposta_valore(static_cast<double>(f.vmedia_conc));
    numero->imposta_colore(colore);
    numero->imposta_provvisorio(true);
    ultima_ = f;
    tipo_ = UltimaVbt::Provvisoria;
    aggiorna_finestra();
}

void SorveglianzaVbt::togli_provvisoria(bool ripristina) {
    if (ripristina && tipo_ == UltimaVbt::Provvisoria) {
        g_.Slide->imposta_valore(prima_.slide);
        g_.Slide->imposta_colore_puntatore(1, prima_.colore_slide);
        g_.Num_vel->imposta_valore(prima_.numero);
        g_.Num_vel->imposta_colore(prima_.colore_numero);
    }
    g_.Slide->imposta_provvisorio(false);
    g_.Num_vel->imposta_provvisorio(false);
    ultima_.reset();
    tipo_ = UltimaVbt::Nessuna;
    aggiorna_finestra();
}

} // namespace vexa
