// vexameter-storico: the training history from a script or a server without
// a display. --rebuild reads every results file of the data folder into the
// history; --profile prints an athlete's load-velocity profile and estimated
// 1RM for one exercise as one JSON object, the figures the "Storico" window
// shows for the same choice. --database points either at another SQLite file
// or at the club's PostgreSQL server, which --rebuild fills with this
// station's files and --profile reads for every station.
#include "storico/storico.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

namespace {

using namespace vexa;

enum Esito { ESITO_OK = 0, ESITO_FILE = 1, ESITO_USO = 2, ESITO_IO = 3 };

const char* const USO =
    "uso: vexameter-storico [--data-folder CARTELLA] [--database URL] [--station ID] --rebuild\n"
    "     vexameter-storico [--data-folder CARTELLA] [--database URL] --profile --athlete NOME --exercise NOME\n"
    "                       [--squad NOME] [--metric vmedia|vmp] [--mvt MMS]\n"
    "                       [--from AAAA-MM-GG] [--to AAAA-MM-GG]\n"
    "\n"
    "Lo storico degli allenamenti e' il file storico.sqlite della cartella dei dati\n"
    "(predefinita: quella del programma dell'utente). Se manca viene creato dai file\n"
    "dei risultati; se e' danneggiato viene messo da parte e ricostruito.\n"
    "\n"
    "  --database URL      sqlite:PERCORSO (predefinito: storico.sqlite della cartella\n"
    "                      dei dati) o postgresql://UTENTE@HOST:PORTA/DATABASE, il server\n"
    "                      del club (parametri di libpq come sslmode dopo un \"?\"); la\n"
    "                      password viene da ~/.pgpass o da PGPASSWORD, mai dall'URL\n"
    "  --station ID        la stazione delle serie inviate al server (predefinita:\n"
    "                      quella di questa installazione)\n"
    "  --rebuild           legge nello storico ogni file dei risultati della cartella\n"
    "                      dei dati e toglie le serie i cui file non ci sono piu';\n"
    "                      ripeterlo non aggiunge nulla due volte; con un server, vi\n"
    "                      invia le serie della cartella dei dati (senza toglierne)\n"
    "  --profile           stampa un oggetto JSON con il profilo carico-velocita' e il\n"
    "                      massimale stimato: \"punti\" (file, data, carico in kg,\n"
    "                      velocita' in mm/s), \"pendenza\" (mm/s per kg), \"intercetta\"\n"
    "                      (mm/s), \"r2\", \"carichi_distinti\", \"massimale_stimato\" (kg o\n"
    "                      null) e \"motivo\" (perche' non c'e' una stima, o null)\n"
    "  --athlete NOME      l'atleta; --squad NOME quando lo stesso nome e' in piu' squadre\n"
    "  --exercise NOME     l'esercizio\n"
    "  --metric M          vmedia (velocita' media concentrica migliore di ogni serie,\n"
    "                      predefinita) o vmp (velocita' media propulsiva migliore)\n"
    "  --mvt MMS           velocita' a 1RM in mm/s, da 1 a 5000 (predefinita: quella\n"
    "                      impostata per l'esercizio nella finestra Storico, o 300)\n"
    "  --from, --to        il periodo, estremi compresi (predefinito: le ultime sei\n"
    "                      settimane fino a oggi, come la finestra Storico)\n"
    "\n"
    "Codici di uscita: 0 riuscito; 1 alcuni file dei risultati non si leggono (gli\n"
    "altri sono nello storico; i file sono nominati sullo standard error); 2 errore\n"
    "d'uso o di parametro (anche un atleta o un esercizio che lo storico non ha);\n"
    "3 errore di ingresso/uscita (la cartella dei dati o lo storico non si possono usare).\n";

int errore(int esito, const QString& testo) {
    std::fprintf(stderr, "vexameter-storico: %s\n", qPrintable(testo));
    return esito;
}

std::string numero_json(double v) {
    if (!std::isfinite(v)) return "null";
    char buf[64];
    // The shortest text that reads back as the same double: every digit the
    // figures have, whatever the locale.
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::string numero_json(const std::optional<double>& v) { return v ? numero_json(*v) : "null"; }

std::string testo_json(const std::string& t) {
    std::string j = "\"";
    for (unsigned char c : t) {
        switch (c) {
        case '"': j += "\\\""; break;
        case '\\': j += "\\\\"; break;
        case '\n': j += "\\n"; break;
        case '\r': j += "\\r"; break;
        case '\t': j += "\\t"; break;
        default:
            if (c < 0x20) {
                char u[8];
                std::snprintf(u, sizeof u, "\\u%04x", c);
                j += u;
            } else {
                j += static_cast<char>(c);
            }
        }
    }
    return j + "\"";
}

std::optional<double> numero(QString t) {
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double v = t.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v)) return std::nullopt;
    return v;
}

struct Argomenti {
    QString cartella;
    ConnessioneStorico connessione;
    bool ricostruisci = false, profilo = false, vmp = false;
    QString atleta, esercizio, squadra;
    bool con_squadra = false;
    std::optional<double> mvt;
    QDate dal, al;
};

// Opens the history as the program does: missing, it is made from the
// files; damaged, it goes aside and is made again.
EsitoStorico apri(Storico& s, bool verifica, std::optional<Ricostruzione>& ricostruzione) {
    EsitoStorico e = s.apri(verifica);
    if (e.stato == StatoStorico::Danneggiato) {
        std::fprintf(stderr, "vexameter-storico: %s\n", qPrintable(e.messaggio));
        const QString via = s.metti_da_parte();
        if (via.isEmpty())
            return {StatoStorico::Inaccessibile, e.messaggio + QStringLiteral(" Non si \u00e8 potuto metterlo da parte.")};
        std::fprintf(stderr, "vexameter-storico: messo da parte come %s\n", qPrintable(QDir::toNativeSeparators(via)));
        e = s.apri();
    }
    if (e.ok() && s.appena_creato()) {
        ricostruzione = s.ricostruisci();
        if (!ricostruzione->esito.ok()) return ricostruzione->esito;
    }
    return e;
}

int esegui(const Argomenti& a) {
    if (!QFileInfo(a.cartella).isDir())
        return errore(ESITO_IO, QStringLiteral("la cartella dei dati \"%1\" non esiste").arg(a.cartella));
    Storico s(a.cartella, a.connessione, Storico::Opzioni{});
    std::optional<Ricostruzione> r;
    const EsitoStorico e = apri(s, a.ricostruisci, r);
    if (!e.ok()) return errore(ESITO_IO, e.messaggio);
    int esito = ESITO_OK;
    // A history made just now from the files is the rebuild asked for.
    if (a.ricostruisci && !r) r = s.ricostruisci();
    if (r) {
        for (const QString& p : r->problemi) std::fprintf(stderr, "vexameter-storico: %s\n", qPrintable(p));
        if (!r->esito.ok()) return errore(ESITO_IO, r->esito.messaggio);
        // Standard output stays the JSON when a profile follows.
        std::fprintf(a.ricostruisci && !a.profilo ? stdout : stderr, "%s\n", qPrintable(r->riepilogo()));
        if (r->illeggibili) esito = ESITO_FILE;
    }
    if (!a.profilo) return esito;

    std::vector<AtletaStorico> trovati;
    for (const AtletaStorico& x : s.atleti())
        if (x.nome == a.atleta && (!a.con_squadra || x.squadra == a.squadra)) trovati.push_back(x);
    if (trovati.empty())
        return errore(ESITO_USO, a.con_squadra ? QStringLiteral("lo storico non ha l'atleta \"%1\" nella squadra \"%2\"").arg(a.atleta, a.squadra)
                                               : QStringLiteral("lo storico non ha l'atleta \"%1\"").arg(a.atleta));
    if (trovati.size() > 1) {
        QStringList squadre;
        for (const AtletaStorico& x : trovati) squadre << QStringLiteral("\"%1\"").arg(x.squadra);
        return errore(ESITO_USO, QStringLiteral("l'atleta \"%1\" \u00e8 in pi\u00f9 squadre (%2): sceglierne una con --squad")
                                     .arg(a.atleta, squadre.join(QStringLiteral(", "))));
    }
    if (!s.esercizi(trovati[0]).contains(a.esercizio))
        return errore(ESITO_USO, QStringLiteral("lo storico non ha serie di \"%1\" per l'atleta \"%2\"").arg(a.esercizio, a.atleta));

    const double v1rm = a.mvt.value_or(s.velocita_1rm(a.esercizio));
    const std::vector<SessioneStorico> sessioni = s.sessioni({trovati[0], a.esercizio, a.dal, a.al});
    const Profilo p = profilo_delle_sessioni(sessioni, a.vmp, v1rm);
    std::string j = "{\"punti\":[";
    bool primo = true;
    for (const SessioneStorico& x : sessioni) {
        const auto v = a.vmp ? x.vmp_migliore : x.vmedia_migliore;
        if (!v) continue;
        if (!primo) j += ",";
        primo = false;
        j += "{\"file\":" + testo_json(x.file.toStdString()) + ",\"data\":" +
             testo_json(x.quando.date().toString(Qt::ISODate).toStdString()) + ",\"carico\":" + numero_json(x.carico_kg) +
             ",\"velocita\":" + numero_json(*v) + "}";
    }
    j += "],\"pendenza\":" + numero_json(p.pendenza) + ",\"intercetta\":" + numero_json(p.intercetta) +
         ",\"r2\":" + numero_json(p.r2) + ",\"carichi_distinti\":" + std::to_string(p.carichi_distinti) +
         ",\"massimale_stimato\":" + numero_json(p.massimale) +
         ",\"motivo\":" + (p.motivo.empty() ? std::string("null") : testo_json(p.motivo)) + "}\n";
    if (std::fputs(j.c_str(), stdout) < 0 || std::fflush(stdout) != 0)
        return errore(ESITO_IO, QStringLiteral("impossibile scrivere lo standard output"));
    return esito;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // The same data folder as the program's.
    QCoreApplication::setOrganizationName(QStringLiteral("vexameter"));
    QCoreApplication::setApplicationName(QStringLiteral("vexameter"));

    Argomenti a;
    QString dal, al, metrica = QStringLiteral("vmedia"), mvt, database, stazione;
    bool con_dal = false, con_al = false;
    const QStringList arg = app.arguments();
    for (int i = 1; i < arg.size(); ++i) {
        const QString& x = arg[i];
        auto valore = [&](QString& dove) {
            if (i + 1 >= arg.size()) return false;
            dove = arg[++i];
            return true;
        };
        bool ok = true;
        if (x == QLatin1String("--help") || x == QLatin1String("-h")) {
            std::fputs(USO, stdout);
            return ESITO_OK;
        } else if (x == QLatin1String("--data-folder")) {
            ok = valore(a.cartella);
        } else if (x == QLatin1String("--database")) {
            ok = valore(database);
        } else if (x == QLatin1String("--station")) {
            ok = valore(stazione);
        } else if (x == QLatin1String("--rebuild")) {
            a.ricostruisci = true;
        } else if (x == QLatin1String("--profile")) {
            a.profilo = true;
        } else if (x == QLatin1String("--athlete")) {
            ok = valore(a.atleta);
        } else if (x == QLatin1String("--exercise")) {
            ok = valore(a.esercizio);
        } else if (x == QLatin1String("--squad")) {
            ok = valore(a.squadra);
            a.con_squadra = true;
        } else if (x == QLatin1String("--metric")) {
            ok = valore(metrica);
        } else if (x == QLatin1String("--mvt")) {
            ok = valore(mvt);
        } else if (x == QLatin1String("--from")) {
            ok = con_dal = valore(dal);
        } else if (x == QLatin1String("--to")) {
            ok = con_al = valore(al);
        } else {
            return errore(ESITO_USO, QStringLiteral("argomento non valido: %1\n%2").arg(x, QString::fromLatin1(USO)));
        }
        if (!ok) return errore(ESITO_USO, QStringLiteral("%1 vuole un valore").arg(x));
    }
    if (!a.ricostruisci && !a.profilo) return errore(ESITO_USO, QStringLiteral("serve --rebuild o --profile\n") + QString::fromLatin1(USO));
    if (a.profilo && (a.atleta.isEmpty() || a.esercizio.isEmpty()))
        return errore(ESITO_USO, QStringLiteral("--profile vuole --athlete e --exercise"));
    if (metrica != QLatin1String("vmedia") && metrica != QLatin1String("vmp"))
        return errore(ESITO_USO, QStringLiteral("--metric vuole vmedia o vmp, non \"%1\"").arg(metrica));
    a.vmp = metrica == QLatin1String("vmp");
    if (!mvt.isEmpty()) {
        a.mvt = numero(mvt);
        if (!a.mvt || *a.mvt < 1 || *a.mvt > 5000)
            return errore(ESITO_USO, QStringLiteral("--mvt vuole una velocit\u00e0 da 1 a 5000 mm/s, non \"%1\"").arg(mvt));
    }
    if (con_dal) {
        a.dal = QDate::fromString(dal, Qt::ISODate);
        if (!a.dal.isValid()) return errore(ESITO_USO, QStringLiteral("--from vuole una data AAAA-MM-GG, non \"%1\"").arg(dal));
    }
    if (con_al) {
        a.al = QDate::fromString(al, Qt::ISODate);
        if (!a.al.isValid()) return errore(ESITO_USO, QStringLiteral("--to vuole una data AAAA-MM-GG, non \"%1\"").arg(al));
    }
    // As the window: six weeks up to today, or up to the end asked for.
    if (!con_al) a.al = QDate::currentDate();
    if (!con_dal) a.dal = a.al.addDays(-42);
    if (a.dal > a.al) return errore(ESITO_USO, QStringLiteral("--from viene dopo --to"));
    if (a.cartella.isEmpty()) a.cartella = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (!database.isEmpty()) {
        auto c = ConnessioneStorico::da_url(database);
        if (auto* e = std::get_if<QString>(&c)) return errore(ESITO_USO, QStringLiteral("--database: ") + *e);
        a.connessione = std::get<ConnessioneStorico>(c);
    }
    if (a.connessione.server())
        a.connessione.stazione = stazione.isEmpty() ? stazione_locale() : stazione;
    else if (!stazione.isEmpty())
        return errore(ESITO_USO, QStringLiteral("--station vale solo con il server del club (--database postgresql://...)"));
    return esegui(a);
}
