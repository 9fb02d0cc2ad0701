#include "analisi.h"

#include "formato.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace vexa {

int32_t colore_limiti(float vmedia, float vel_max, float limite_sup, float limite_inf) {
    const float sopra = limite_sup / 100.0f * vel_max;
    const float sotto = limite_inf / 100.0f * vel_max;
    if (vmedia > sopra) return COLORE_GIALLO;
    if (vmedia < sotto) return COLORE_ROSSO;
    return COLORE_VERDE;
}

const char* nome_colore(int32_t colore) {
    switch (colore) {
    case COLORE_GIALLO: return "giallo";
    case COLORE_VERDE: return "verde";
    case COLORE_ROSSO: return "rosso";
    default: return "?";
    }
}

double velocita_passo(float scala_posizione, bool seriale, bool hid, float dt_ms) {
    const double scala = static_cast<double>(scala_posizione);
    double v = 0;
    if (dt_ms != 0) {
        if (seriale)
            v = scala * 6 * 1000 / static_cast<double>(dt_ms);
        else if (hid)
            v = scala * 1000 / static_cast<double>(dt_ms);
    }
    if (std::fabs(v) < 12) return 0;
    if (v > 5000) return 5000;
    if (v < -5000) return -5000;
    return v;
}

void azzera_prova(Stato& s, VistaProva& v) {
    s.campioni.assign(1, Campione{});
    s.pos_inizio_rip = 0;
    s.rip_corrente = 0;
    s.n_campioni = 0;
    s.indici_vbt.clear();
    s.vmedia_migliore = 0;
    s.stop_dato = false;
    // The movement before the first top is measured into record 0; a record left
    // by the previous trial would lend it a stale reversal point.
    s.ripetizioni.at(0) = Ripetizione{};
    for (IColonna* c : v.lst_valori) c->cancella();
    v.grafico[1]->cancella_dati();
    v.slide->imposta_valore(0);
    v.grafico[0]->cancella_dati();
    v.grafico[0]->accoda(PLOT_VELOCITA, 0, 0);
    v.grafico[0]->accoda(PLOT_POSIZIONE, 0, 0);
    v.grafico[0]->aggiorna();
    if (v.vbt) v.vbt->cancella();
}

void azzera_tempi(Stato& s) {
    s.tempo_movimento = 0;
    s.tempo_totale = 0;
    s.fase = {1, 0};
}

Analizzatore::Analizzatore(Stato& stato, VistaProva& vista) : s_(stato), v_(vista) {
    velocita_blocco_.reserve(64);
    accelerazione_blocco_.reserve(64);
}

void Analizzatore::Elabora_blocco(int n_punti, const double* valore_posizione, const float* dt) {
    if (n_punti < 0) return;
    const auto n = static_cast<std::size_t>(n_punti) + 1;
    velocita_blocco_.resize(n);
    accelerazione_blocco_.resize(n);
    double* vel = velocita_blocco_.data();
    double* acc = accelerazione_blocco_.data();

    for (std::size_t b = 0; b < n; ++b) vel[b] = velocita_passo(s_.scala_posizione, s_.seriale_attiva, s_.hid_attivo, dt[b]);

    for (std::size_t b = 0; b < n; ++b) {
        const double prima = b == 0 ? vel_precedente : vel[b - 1];
        acc[b] = dt[b] == 0 ? 0.0 : (vel[b] - prima) / static_cast<double>(dt[b]);
    }
    vel_precedente = vel[n - 1];

    for (std::size_t k = 0; k < n; ++k) {
        const float sec = dt[k] / 1000.0f;
        const float durata = std::fabs(sec);
        // Long pauses between steps are rest, not movement.
        if (durata < 0.22f) s_.tempo_movimento += durata;
        s_.tempo_totale += durata;
        if (s_.registrazione_attiva) {
            const auto i = static_cast<std::size_t>(s_.n_campioni);
            s_.campioni.resize(i + 1);
            s_.campioni[i] = Campione{static_cast<float>(valore_posizione[k]), sec, s_.tempo_totale,
                                      static_cast<float>(vel[k])};
            ++s_.n_campioni;
            if (su_campione) su_campione(static_cast<int32_t>(i), s_.campioni[i]);
        }
        Elabora_dati(valore_posizione[k], static_cast<float>(vel[k]));
    }
    campioni_analizzati_ += n;

    // Drawing is what falls behind a fast stream: skip it while the serial input
    // backs up, resume once it has drained. The analysis above never skips.
    // Only the serial input can back up; the HID reports come one at a time.
    const int backlog = s_.seriale_attiva && arretrato ? arretrato() : 0;
    IGrafico* g0 = v_.grafico[0];
    if (backlog < 400 && g0->visibile() && s_.grafico_live) {
        for (std::size_t k = 0; k < n; ++k) {
            const double dx = static_cast<double>(std::fabs(dt[k]) / 1000.0f);
            g0->accoda(PLOT_POSIZIONE, valore_posizione[k], dx);
            g0->accoda(PLOT_ACCELERAZIONE, acc[k], dx);
            g0->accoda(PLOT_VELOCITA, vel[k], dx);
        }
    } else {
        s_.grafico_live = false;
    }
    if (backlog >= 400 && !sospeso_per_arretrato_) {
        sospeso_per_arretrato_ = true;
        if (registro) registro(1, "grafico dal vivo sospeso: " + std::to_string(backlog) + " byte in attesa sulla seriale");
    }
    if (backlog < 50) {
        if (sospeso_per_arretrato_ && registro) registro(1, "grafico dal vivo ripreso");
        sospeso_per_arretrato_ = false;
        s_.grafico_live = true;
    }
}

void Analizzatore::Elabora_dati(double posizione, float velocita) {
    // Taken before anything is decided: a top belongs to the concentric phase it ends.
    if (indici_vbt) vbt_.campione(posizione, velocita, s_.tempo_movimento);
    auto& rip = s_.ripetizioni;
    {
        Ripetizione& R = rip.at(static_cast<std::size_t>(s_.rip_corrente));
        if (velocita < vmin_rip) {
            vmin_rip = velocita;
            t_vmin_rip = s_.tempo_movimento - R.t_inizio;
            R.t_vmax_ecc = t_vmin_rip;
            R.vmax_ecc = vmin_rip;
            R.s_vmax_ecc = static_cast<float>(static_cast<double>(R.pos_inizio) - posizione);
            v_.suono->beep();
        }
        if (velocita > vmax_rip) {
            vmax_rip = velocita;
            t_vmax_rip = s_.tempo_movimento - R.t_inversione;
            R.t_vmax_conc = t_vmax_rip;
            R.vmax_conc = vmax_rip;
            R.s_vmax_conc = static_cast<float>(posizione - static_cast<double>(R.pos_inversione));
        }
    }

    // 20 up, 15 down: a load hovering near still does not flap the state.
    if (velocita > 20) s_.fase[0] = 0;
    if (velocita < 15) s_.fase[0] = 1;

    if (s_.fase[0] != s_.fase[1]) {
        if (s_.fase[0] == 1 && s_.tempo_movimento > 1) {
            // A top: the rising phase has ended and the next repetition begins.
            s_.pos_inizio_rip = static_cast<float>(posizione);
            ++s_.rip_corrente;
            const auto r = static_cast<std::size_t>(s_.rip_corrente);
            rip.resize(r + 1);
            // A record used before (an earlier trial, or a rejected repetition)
            // must not lend its old note or phases to the new repetition.
            rip[r] = Ripetizione{};
            Ripetizione& R = rip[r];
            Ripetizione& P = rip[r - 1];
            R.t_inizio = s_.tempo_movimento;
            R.tempo = s_.tempo_totale;
            R.pos_inizio = s_.pos_inizio_rip;

            P.spost_conc = s_.pos_inizio_rip - P.pos_inversione;
            const bool valida = P.spost_conc > s_.ampiezza_min;

            if (valida && s_.rip_corrente == 1) {
                // The first good top starts the time base; what came before is dropped.
                s_.tempo_movimento = 0;
                s_.tempo_totale = 0;
                R.t_inizio = 0;
                R.tempo = 0;
                s_.n_campioni = 0;
                s_.campioni.assign(1, Campione{});
                v_.grafico[0]->cancella_dati();
                vbt_.nuova_base();
            }

            P.durata_conc = R.t_inizio - P.t_inversione;
            // No duration, no mean: a top rejected earlier in this record must
            // not leave its mean behind for this one.
            P.vmedia_conc = P.durata_conc > 0 ? P.spost_conc / P.durata_conc : 0.0f;

            v_.grafico[0]->sposta_cursore("Cursor_1", static_cast<double>(R.tempo));
            v_.grafico[0]->sposta_cursore("Cursor_2", static_cast<double>(P.tempo));

            if (valida) {
                vmax_rip = 0;
                vmin_rip = 0;
                if (s_.rip_corrente >= 2) {
                    pubblica(s_.rip_corrente - 1, P);
                    if (indici_vbt) pubblica_vbt(s_.rip_corrente - 1, P);
                }
                vbt_.nuova_fase();
            } else {
                if (registro)
                    registro(0, "ripetizione scartata: salita di " + formatta(P.spost_conc, 0) +
                                    " mm, ampiezza minima " + formatta(s_.ampiezza_min, 0) + " mm");
                // Too small to count: keep measuring the previous repetition; the
                // next top overwrites the abandoned record.
                --s_.rip_corrente;
            }
        } else {
            // A change of direction.
            vbt_.nuova_fase();
            Ripetizione& R = rip[static_cast<std::size_t>(s_.rip_corrente)];
            s_.pos_inversione = static_cast<float>(posizione);
            R.pos_inversione = s_.pos_inversione;
            R.t_inversione = s_.tempo_movimento;
            if (s_.pos_inversione - s_.pos_inizio_rip < -s_.ampiezza_min) {
                R.durata_ecc = s_.tempo_movimento - R.t_inizio;
                R.spost_ecc = s_.pos_inversione - s_.pos_inizio_rip;
            }
            if (R.durata_ecc > 0) R.vmedia_ecc = R.spost_ecc / R.durata_ecc;
        }
    }
    s_.fase[1] = s_.fase[0];
}

void Analizzatore::pubblica(int32_t n, const Ripetizione& p) {
    const char sep = separatore;
    const std::string testi[NUMERO_COLONNE] = {
        std::to_string(n),
        formatta(p.tempo, 2, sep),
        formatta(p.durata_conc, 2, sep),
        formatta(p.spost_conc, 0, sep),
        formatta(p.vmedia_conc, 0, sep),
        formatta(p.vmax_conc, 0, sep),
        formatta(p.t_vmax_conc, 2, sep),
        formatta(p.s_vmax_conc, 0, sep),
        formatta(p.durata_ecc, 2, sep),
        formatta(p.spost_ecc, 0, sep),
        formatta(p.vmedia_ecc, 0, sep),
        formatta(p.vmax_ecc, 0, sep),
        formatta(p.t_vmax_ecc, 2, sep),
        formatta(p.s_vmax_ecc, 0, sep),
        p.nota,
    };
    for (int i = 0; i < NUMERO_COLONNE; ++i) v_.lst_valori[static_cast<std::size_t>(i)]->aggiungi(testi[i]);
    for (IColonna* c : v_.lst_valori) {
        c->seleziona(n - 1);
        c->aggiorna();
    }

    const float riga[2] = {p.durata_conc, p.vmedia_conc};
    v_.grafico[1]->accoda_riga(riga, 2, 1);

    const int32_t colore = colore_limiti(p.vmedia_conc, s_.vel_max, s_.limite_sup, s_.limite_inf);
    v_.slide->imposta_valore(static_cast<double>(p.vmedia_conc));
    v_.slide->imposta_colore_puntatore(1, colore);
    v_.num_vel->imposta_valore(static_cast<double>(p.vmedia_conc));
    v_.num_vel->imposta_colore(colore);
}

void Analizzatore::pubblica_vbt(int32_t n, const Ripetizione& p) {
    IndiciVbt f = vbt_.indici(p, n, s_.carico_kg);
    s_.vmedia_migliore = std::max(s_.vmedia_migliore, p.vmedia_conc);
    f.perdita = perdita_velocita(s_.vmedia_migliore, p.vmedia_conc);
    s_.indici_vbt.push_back(f);
    const bool stop = !s_.stop_dato && soglia_raggiunta(f.perdita, s_.soglia_perdita);
    if (stop) s_.stop_dato = true;
    if (v_.vbt) {
        v_.vbt->aggiungi(f);
        if (stop) v_.vbt->stop(f);
    }
}

std::optional<IndiciVbt> Analizzatore::ripetizione_provvisoria(double secondi_senza_record) const {
    // Repetition 0 is the movement before the first top, never listed; and
    // within the first second of movement the end of a rise is no top.
    if (!indici_vbt || s_.fase[0] != 0 || s_.rip_corrente < 1 || !(s_.tempo_movimento > 1) || vbt_.fase_vuota())
        return std::nullopt;
    const double passo = static_cast<double>(s_.scala_posizione) * (s_.seriale_attiva ? 6 : s_.hid_attivo ? 1 : 0);
    if (!(passo > 0) || !(secondi_senza_record > 0) || !(passo / secondi_senza_record < 15)) return std::nullopt;
    const auto r = static_cast<std::size_t>(s_.rip_corrente);
    if (r >= s_.ripetizioni.size()) return std::nullopt;
    // The top the next record would make, placed on the last one.
    Ripetizione R = s_.ripetizioni[r];
    R.spost_conc = vbt_.ultima_posizione() - R.pos_inversione;
    if (!(R.spost_conc > s_.ampiezza_min)) return std::nullopt;
    R.durata_conc = vbt_.ultimo_tempo() - R.t_inversione;
    R.vmedia_conc = R.durata_conc > 0 ? R.spost_conc / R.durata_conc : 0;
    IndiciVbt f = vbt_.indici_con_cima_ferma(R, s_.rip_corrente, s_.carico_kg);
    f.perdita = perdita_velocita(std::max(s_.vmedia_migliore, R.vmedia_conc), R.vmedia_conc);
    return f;
}

} // namespace vexa
