#include "controlli_memoria.h"

#include <fstream>

namespace vexa {

void GraficoMemoria::accoda(int p, double y, double incremento_x) {
    auto it = ultima_x_.find(p);
    const double x = (it == ultima_x_.end() ? 0.0 : it->second) + incremento_x;
    ultima_x_[p] = x;
    if (conserva_punti) plot[p].push_back({x, y});
}

void GraficoMemoria::accoda_riga(const float* valori, std::size_t n, double incremento_x) {
    // The first row lands at x = 0, later ones step by the increment.
    x_riga_ = x_riga_ < 0 ? 0 : x_riga_ + incremento_x;
    for (std::size_t i = 0; i < n; ++i) {
        const int p = static_cast<int>(i) + 1;
        ultima_x_[p] = x_riga_;
        if (conserva_punti) plot[p].push_back({x_riga_, valori[i]});
    }
}

void GraficoMemoria::cancella_dati() {
    plot.clear();
    ultima_x_.clear();
    x_riga_ = -1;
    ++cancellazioni;
}

int GraficoMemoria::cursore_per_nome(const std::string& nome) const {
    for (std::size_t i = 0; i < nomi_cursori.size(); ++i)
        if (nomi_cursori[i] == nome) return static_cast<int>(i) + 1;
    return 0;
}

double GraficoMemoria::cursore_x(int c) const {
    auto it = cursori_x.find(c);
    return it == cursori_x.end() ? 0.0 : it->second;
}

double GraficoMemoria::cursore_y(int c) const {
    auto it = cursori_y.find(c);
    return it == cursori_y.end() ? 0.0 : it->second;
}

int GraficoMemoria::asse_per_nome(const std::string& nome) const {
    for (std::size_t i = 0; i < nomi_assi.size(); ++i)
        if (nomi_assi[i] == nome) return static_cast<int>(i) + 1;
    return 0;
}

std::string GraficoMemoria::didascalia_asse(int a) const {
    auto it = didascalie.find(a);
    return it == didascalie.end() ? std::string() : it->second;
}

double GraficoMemoria::minimo_asse(int a) const {
    auto it = intervalli.find(a);
    return it == intervalli.end() ? 0.0 : it->second.first;
}

double GraficoMemoria::massimo_asse(int a) const {
    auto it = intervalli.find(a);
    return it == intervalli.end() ? 10.0 : it->second.second;
}

bool GraficoMemoria::esporta_stile(const std::string& percorso) const {
    std::ofstream f(percorso);
    if (!f) return false;
    f << modo << '\n';
    for (auto& [a, r] : intervalli) f << a << ' ' << r.first << ' ' << r.second << '\n';
    return static_cast<bool>(f);
}

bool GraficoMemoria::importa_stile(const std::string& percorso) {
    std::ifstream f(percorso);
    if (!f) return false;
    int m = 0;
    if (!(f >> m)) return false;
    modo = m;
    int a;
    double mn, mx;
    while (f >> a >> mn >> mx) intervalli[a] = {mn, mx};
    return true;
}

void PulsanteMemoria::imposta_valore(bool x) {
    if (x == v) return;
    v = x;
    if (su_cambio_valore) su_cambio_valore(x);
}

std::string ColonnaMemoria::testo(int r) const {
    return r >= 0 && r < numero_righe() ? righe[static_cast<std::size_t>(r)] : std::string();
}

void ColonnaMemoria::imposta_testo(int r, const std::string& t) {
    if (r >= 0 && r < numero_righe()) righe[static_cast<std::size_t>(r)] = t;
}

void ColonnaMemoria::seleziona(int r) {
    if (r >= -1 && r < numero_righe()) selezionata = r;
}

} // namespace vexa
