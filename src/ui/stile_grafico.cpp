#include "stile_grafico.h"

#include <QFile>
#include <QLocale>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringList>

#include <cmath>
#include <map>

namespace vexa {

namespace {

constexpr const char* INTESTAZIONE = "VEXA-GRAFICO 1";
constexpr const char* FINE = "fine";
// A style file is a few dozen lines; anything this big is not one.
constexpr qint64 DIMENSIONE_MASSIMA = 1 << 20;
constexpr double SPESSORE_MASSIMO = 20;

const char* nome_tratto(TrattoPlot t) {
    switch (t) {
    case TrattoPlot::linea: return "linea";
    case TrattoPlot::punti: return "punti";
    case TrattoPlot::linea_punti: return "linea_punti";
    case TrattoPlot::nessuno: return "nessuno";
    }
    return "linea";
}

std::optional<TrattoPlot> tratto_da_nome(const QString& n) {
    for (TrattoPlot t : {TrattoPlot::linea, TrattoPlot::punti, TrattoPlot::linea_punti, TrattoPlot::nessuno})
        if (n == QLatin1String(nome_tratto(t))) return t;
    return std::nullopt;
}

// Shortest text that reads back to the same double, never in the user's locale.
QString numero(double v) { return QString::number(v, 'g', QLocale::FloatingPointShortest); }

std::optional<double> leggi_numero(const QString& s) {
    bool ok = false;
    const double v = s.toDouble(&ok); // always the C locale
    if (!ok || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::optional<int> leggi_intero(const QString& s) {
    bool ok = false;
    const int v = s.toInt(&ok, 10);
    if (!ok) return std::nullopt;
    return v;
}

// Captions may hold line breaks; the file keeps one key per line.
QString proteggi(const QString& s) {
    QString r;
    r.reserve(s.size());
    for (QChar c : s) {
        if (c == u'\\')
            r += QLatin1String("\\\\");
        else if (c == u'\n')
            r += QLatin1String("\\n");
        else if (c == u'\r')
            r += QLatin1String("\\r");
        else
            r += c;
    }
    return r;
}

std::optional<QString> sproteggi(const QString& s) {
    QString r;
    r.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] != u'\\') {
            r += s[i];
            continue;
        }
        if (++i == s.size()) return std::nullopt;
        if (s[i] == u'\\')
            r += u'\\';
        else if (s[i] == u'n')
            r += u'\n';
        else if (s[i] == u'r')
            r += u'\r';
        else
            return std::nullopt;
    }
    return r;
}

} // namespace

bool modo_puntatore_valido(int m) { return m == 2 || m == 3 || m == 6 || m == 9; }

QByteArray testo_stile(const StileGrafico& s) {
    QString t;
    const auto riga = [&t](const QString& chiave, const QString& valore) { t += chiave + u'=' + valore + u'\n'; };
    t += QLatin1String(INTESTAZIONE) + u'\n';
    t += QLatin1String("# Stile di un grafico di Vexa Meter: una chiave=valore per riga.\n");
    riga(QStringLiteral("tipo"), s.tipo);
    riga(QStringLiteral("modo_puntatore"), QString::number(s.modo_puntatore));
    riga(QStringLiteral("segue_dati"), QString::number(s.segue_dati ? 1 : 0));
    for (std::size_t i = 0; i < s.assi.size(); ++i) {
        const QString k = QStringLiteral("asse.%1.").arg(i + 1);
        riga(k + QLatin1String("nome"), s.assi[i].nome);
        riga(k + QLatin1String("didascalia"), proteggi(s.assi[i].didascalia));
        riga(k + QLatin1String("minimo"), numero(s.assi[i].minimo));
        riga(k + QLatin1String("massimo"), numero(s.assi[i].massimo));
    }
    for (std::size_t i = 0; i < s.plot.size(); ++i) {
        const QString k = QStringLiteral("plot.%1.").arg(i + 1);
        t += QStringLiteral("# plot %1: %2\n").arg(i + 1).arg(s.plot[i].nome);
        riga(k + QLatin1String("colore"), QString::number(s.plot[i].colore));
        riga(k + QLatin1String("spessore"), numero(s.plot[i].spessore));
        riga(k + QLatin1String("stile"), QLatin1String(nome_tratto(s.plot[i].tratto)));
    }
    t += QLatin1String(FINE) + u'\n';
    return t.toUtf8();
}

std::optional<StileGrafico> leggi_testo_stile(const QByteArray& testo, const StileGrafico& attuale,
                                              IntervalloAmmesso ammesso, ErroreStile& errore) {
    const auto rifiuta = [&](int riga, const QString& motivo) -> std::optional<StileGrafico> {
        errore = {riga, motivo};
        return std::nullopt;
    };
    if (testo.size() > DIMENSIONE_MASSIMA) return rifiuta(1, QStringLiteral("file troppo grande"));
    if (testo.trimmed().isEmpty()) return rifiuta(1, QStringLiteral("file vuoto"));

    StileGrafico s = attuale;
    const QList<QByteArray> righe = testo.split('\n');
    std::map<QString, int> viste; // key -> line, to refuse repeated keys
    std::map<int, int> intervalli; // axis -> the later of its range's lines, for the min < max check
    bool fine_vista = false;
    bool tipo_visto = false;
    int ultima = 1;
    for (qsizetype i = 0; i < righe.size(); ++i) {
        const int nr = static_cast<int>(i) + 1;
        QByteArray grezza = righe[i];
        if (grezza.endsWith('\r')) grezza.chop(1);
        // Stateless: a sequence cut short at the end of the line is an error too.
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString riga = utf8(grezza);
        if (utf8.hasError()) return rifiuta(nr, QStringLiteral("testo non in UTF-8"));
        const QString pulita = riga.trimmed();
        if (i == 0) {
            if (pulita != QLatin1String(INTESTAZIONE))
                return rifiuta(nr, QStringLiteral("intestazione mancante o errata (attesa «%1»)")
                                       .arg(QLatin1String(INTESTAZIONE)));
            continue;
        }
        if (pulita.isEmpty() || pulita.startsWith(u'#')) continue;
        ultima = nr;
        if (fine_vista) return rifiuta(nr, QStringLiteral("testo dopo la riga «%1»").arg(QLatin1String(FINE)));
        if (pulita == QLatin1String(FINE)) {
            fine_vista = true;
            continue;
        }
        const qsizetype uguale = riga.indexOf(u'=');
        if (uguale < 0) return rifiuta(nr, QStringLiteral("manca «=» in «%1»").arg(pulita));
        const QString chiave = riga.left(uguale).trimmed();
        const QString valore_grezzo = riga.mid(uguale + 1);
        const QString valore = valore_grezzo.trimmed();
        if (auto [it, nuova] = viste.emplace(chiave, nr); !nuova)
            return rifiuta(nr, QStringLiteral("chiave %1 ripetuta (già alla riga %2)").arg(chiave).arg(it->second));

        const auto non_numerico = [&] {
            return rifiuta(nr, QStringLiteral("valore non numerico per %1: «%2»").arg(chiave, valore));
        };
        const auto sconosciuta = [&] { return rifiuta(nr, QStringLiteral("chiave sconosciuta «%1»").arg(chiave)); };

        if (chiave == QLatin1String("tipo")) {
            if (valore != QLatin1String("tempo") && valore != QLatin1String("ripetizioni"))
                return rifiuta(nr, QStringLiteral("tipo di grafico sconosciuto «%1»").arg(valore));
            if (valore != attuale.tipo)
                return rifiuta(nr, QStringLiteral("il file è per un grafico «%1», questo è un grafico «%2»")
                                       .arg(valore, attuale.tipo));
            tipo_visto = true;
            continue;
        }
        if (chiave == QLatin1String("modo_puntatore")) {
            const std::optional<int> m = leggi_intero(valore);
            if (!m) return non_numerico();
            if (!modo_puntatore_valido(*m))
                return rifiuta(nr, QStringLiteral("modo del puntatore %1 non previsto (ammessi 2, 3, 6, 9)").arg(*m));
            s.modo_puntatore = *m;
            continue;
        }
        if (chiave == QLatin1String("segue_dati")) {
            if (valore != QLatin1String("0") && valore != QLatin1String("1"))
                return rifiuta(nr, QStringLiteral("segue_dati vale 0 o 1, non «%1»").arg(valore));
            s.segue_dati = valore == QLatin1String("1");
            continue;
        }

        // asse.N.campo and plot.N.campo
        const QStringList parti = chiave.split(u'.');
        const bool e_asse = parti.size() == 3 && parti[0] == QLatin1String("asse");
        const bool e_plot = parti.size() == 3 && parti[0] == QLatin1String("plot");
        if (!e_asse && !e_plot) return sconosciuta();
        const std::optional<int> num = leggi_intero(parti[1]);
        const int quanti = static_cast<int>(e_asse ? s.assi.size() : s.plot.size());
        if (!num || *num < 1 || *num > quanti)
            return rifiuta(nr, QStringLiteral("%1 «%2» inesistente: il grafico ne ha da 1 a %3")
                                   .arg(e_asse ? QStringLiteral("asse") : QStringLiteral("plot"), parti[1])
                                   .arg(quanti));
        const auto indice = static_cast<std::size_t>(*num - 1);
        const QString& campo = parti[2];

        if (e_asse) {
            StileGrafico::Asse& a = s.assi[indice];
            if (campo == QLatin1String("nome")) {
                if (valore != a.nome)
                    return rifiuta(nr,
                                   QStringLiteral("l'asse %1 si chiama «%2», non «%3»").arg(*num).arg(a.nome, valore));
            } else if (campo == QLatin1String("didascalia")) {
                const std::optional<QString> d = sproteggi(valore_grezzo);
                if (!d) return rifiuta(nr, QStringLiteral("barra rovesciata non valida in %1").arg(chiave));
                a.didascalia = *d;
            } else if (campo == QLatin1String("minimo") || campo == QLatin1String("massimo")) {
                const std::optional<double> v = leggi_numero(valore);
                if (!v) return non_numerico();
                (campo == QLatin1String("minimo") ? a.minimo : a.massimo) = *v;
                intervalli[*num] = std::max(intervalli[*num], nr);
            } else {
                return sconosciuta();
            }
            continue;
        }

        StileGrafico::Plot& p = s.plot[indice];
        if (campo == QLatin1String("colore")) {
            const std::optional<int> c = leggi_intero(valore);
            if (!c) return non_numerico();
            if (*c < 0 || *c > 0xFFFFFF)
                return rifiuta(nr, QStringLiteral("colore %1 fuori intervallo (da 0 a 16777215)").arg(*c));
            p.colore = *c;
        } else if (campo == QLatin1String("spessore")) {
            const std::optional<double> w = leggi_numero(valore);
            if (!w) return non_numerico();
            if (*w < 0 || *w > SPESSORE_MASSIMO)
                return rifiuta(nr, QStringLiteral("spessore %1 fuori intervallo (da 0 a %2)")
                                       .arg(valore, numero(SPESSORE_MASSIMO)));
            p.spessore = *w;
        } else if (campo == QLatin1String("stile")) {
            const std::optional<TrattoPlot> t = tratto_da_nome(valore);
            if (!t)
                return rifiuta(nr, QStringLiteral("stile «%1» sconosciuto (linea, punti, linea_punti o nessuno)")
                                       .arg(valore));
            p.tratto = *t;
        } else {
            return sconosciuta();
        }
    }
    if (!fine_vista)
        return rifiuta(ultima, QStringLiteral("file troncato: manca la riga «%1»").arg(QLatin1String(FINE)));
    if (!tipo_visto) return rifiuta(ultima, QStringLiteral("manca la chiave tipo"));

    // A range given in part is checked against the other end the axis already has.
    for (const auto& [n, riga] : intervalli) {
        const StileGrafico::Asse& a = s.assi[static_cast<std::size_t>(n - 1)];
        if (!(a.minimo < a.massimo))
            return rifiuta(riga, QStringLiteral("asse %1: il minimo (%2) non è minore del massimo (%3)")
                                     .arg(n)
                                     .arg(numero(a.minimo), numero(a.massimo)));
        if (ammesso && !ammesso(a.minimo, a.massimo))
            return rifiuta(riga, QStringLiteral("asse %1: intervallo da %2 a %3 non rappresentabile")
                                     .arg(n)
                                     .arg(numero(a.minimo), numero(a.massimo)));
    }
    return s;
}

bool scrivi_file_stile(const QString& percorso, const StileGrafico& s, QString& errore) {
    QSaveFile f(percorso);
    const QByteArray testo = testo_stile(s);
    // The flush is checked because commit() would rename a file cut short by a full disk.
    if (!f.open(QIODevice::WriteOnly) || f.write(testo) != testo.size() || !f.flush() || !f.commit()) {
        errore = QStringLiteral("Impossibile scrivere il file di stile %1: %2").arg(percorso, f.errorString());
        return false;
    }
    return true;
}

std::optional<StileGrafico> leggi_file_stile(const QString& percorso, const StileGrafico& attuale,
                                             IntervalloAmmesso ammesso, QString& errore) {
    QFile f(percorso);
    if (!f.exists()) {
        errore = QStringLiteral("File di stile non trovato: %1").arg(percorso);
        return std::nullopt;
    }
    const auto illeggibile = [&] {
        errore = QStringLiteral("File di stile illeggibile: %1 (%2)").arg(percorso, f.errorString());
        return std::nullopt;
    };
    if (!f.open(QIODevice::ReadOnly)) return illeggibile();
    const QByteArray testo = f.read(DIMENSIONE_MASSIMA + 1);
    if (f.error() != QFileDevice::NoError) return illeggibile();

    ErroreStile e;
    std::optional<StileGrafico> s = leggi_testo_stile(testo, attuale, ammesso, e);
    if (!s)
        errore = QStringLiteral("File di stile non valido (%1, riga %2): %3").arg(percorso).arg(e.riga).arg(e.motivo);
    return s;
}

} // namespace vexa
