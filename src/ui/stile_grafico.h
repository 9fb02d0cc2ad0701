// A graph's appearance as its style file holds it (docs/stile_grafico.md):
// axis captions and ranges, plot colours, widths and line styles, the pointer
// mode and whether the time axis follows the live data. The graph fills a
// StileGrafico from itself and applies one read back; the format needs no
// widget, so a tool or a test can read and write it on its own.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace vexa {

enum class TrattoPlot { linea, punti, linea_punti, nessuno };

struct StileGrafico {
    struct Asse {
        QString nome; // how the program finds the axis: checked on reading, never changed
        QString didascalia;
        double minimo = 0, massimo = 1;
    };
    struct Plot {
        QString nome; // a comment in the file, for its reader
        int colore = 0; // 0xBBGGRR
        double spessore = 1;
        TrattoPlot tratto = TrattoPlot::linea;
    };
    QString tipo; // "tempo" or "ripetizioni"
    int modo_puntatore = 2;
    bool segue_dati = true;
    std::vector<Asse> assi; // numbered from 1 in the file
    std::vector<Plot> plot;
};

// Pointer modes a graph knows: 2 cursors, 3 pan, 6 zoom, 9 plain pointer.
bool modo_puntatore_valido(int modo);

// Whether an axis can show the range; ranges past the drawing's own limits
// are refused on reading rather than dropped when applied.
using IntervalloAmmesso = bool (*)(double minimo, double massimo);

// Why a text is not a style file: the line and the reason, in Italian.
struct ErroreStile {
    int riga = 0;
    QString motivo;
};

// The whole appearance, every key, with comments naming the plots.
QByteArray testo_stile(const StileGrafico& s);

// `attuale` changed by what the text says: a key the text lacks keeps the
// value it has there. The text is refused as a whole when any line is wrong,
// and when it was written for another kind of graph or would rename an axis
// of `attuale`.
std::optional<StileGrafico> leggi_testo_stile(const QByteArray& testo, const StileGrafico& attuale,
                                              IntervalloAmmesso ammesso, ErroreStile& errore);

// The same on files, with the message a user reads (naming the file) in `errore`.
// Written aside and renamed when complete, so a failure leaves the old file.
bool scrivi_file_stile(const QString& percorso, const StileGrafico& s, QString& errore);
std::optional<StileGrafico> leggi_file_stile(const QString& percorso, const StileGrafico& attuale,
                                             IntervalloAmmesso ammesso, QString& errore);

} // namespace vexa
