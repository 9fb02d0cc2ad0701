#include "archivio_impostazioni.h"

#include "analysis/formato.h"
#include "testo_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <system_error>

namespace vexa {

namespace {

const QString GRUPPO_FUNZ = QStringLiteral("funz");

QString da_utf8(const std::string& t) { return QString::fromStdString(t); }

QString citato(const QString& t) { return QStringLiteral("«") + t + QStringLiteral("»"); }

// A position as the store keeps it: the number its text starts with, as a
// 32-bit integer (halves to even, as the conversion always was).
int32_t posizione_da_testo(const QString& t) {
    const double v = valore_iniziale(t.toStdString());
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(arrotonda_pari(v));
}

QString unisci(const QString& base, const QString& nome) {
    if (base.isEmpty()) return QDir::toNativeSeparators(nome);
    QString b = QDir::fromNativeSeparators(base);
    while (b.size() > 1 && b.endsWith(QLatin1Char('/'))) b.chop(1);
    return QDir::toNativeSeparators(b + QLatin1Char('/') + nome);
}

// What a path may be built from: one folder name, nothing that climbs out of
// the data folder or reaches into another. The stricter rules for new names
// (errore_nome_cartella) apply when a name is typed in; folders that already
// exist are taken as they are.
bool nome_semplice(const QString& nome) {
    return !nome.isEmpty() && nome != QLatin1String(".") && nome != QLatin1String("..") &&
           !nome.contains(QLatin1Char('/')) && !nome.contains(QLatin1Char('\\')) && !nome.contains(QChar(0));
}

std::filesystem::path percorso_fs(const QString& p) { return std::filesystem::path(p.toStdU16String()); }

// One folder level, when it is not there yet. Empty on success, else why not.
QString crea_cartella(const QString& percorso) {
    const QFileInfo info(percorso);
    if (info.isDir()) return {};
    const QString prefisso = QStringLiteral("Impossibile creare la cartella ") + citato(percorso) + QStringLiteral(": ");
    if (info.exists()) return prefisso + QStringLiteral("esiste già un file con questo nome.");
    std::error_code ec;
    std::filesystem::create_directory(percorso_fs(percorso), ec);
    if (ec) return prefisso + QString::fromLocal8Bit(ec.message().c_str()) + QLatin1Char('.');
    return {};
}

// Replaces the file only once all of `byte` is safely written; a failure keeps
// the old file. Empty on success, else why not.
QString scrivi_file(const QString& percorso, const std::string& byte) {
    const bool esisteva = QFileInfo::exists(percorso);
    QSaveFile f(percorso);
    QString motivo;
    if (!f.open(QIODevice::WriteOnly)) {
        motivo = f.errorString();
    } else if (f.write(byte.data(), static_cast<qint64>(byte.size())) != static_cast<qint64>(byte.size()) ||
               !f.flush()) {
        // The explicit flush matters: commit() flushes while closing but does
        // not look at the result, so a write cut short by a full disk would
        // still replace the old file with the truncated one.
        motivo = f.errorString();
        f.cancelWriting();
    } else if (!f.commit()) {
        motivo = f.errorString();
    }
    if (motivo.isEmpty()) return {};
    return QStringLiteral("Impossibile salvare ") + citato(QDir::toNativeSeparators(percorso)) +
           QStringLiteral(": ") + motivo + QStringLiteral(". ") +
           (esisteva ? QStringLiteral("Il file precedente è rimasto com'era.")
                     : QStringLiteral("Il file non è stato scritto."));
}

// The whole file; nothing, and `errore` set, when it cannot be read.
std::optional<std::string> leggi_file(const QString& percorso, QString& errore) {
    QFile f(percorso);
    const QString prefisso =
        QStringLiteral("Impossibile leggere ") + citato(QDir::toNativeSeparators(percorso)) + QStringLiteral(": ");
    if (!f.open(QIODevice::ReadOnly)) {
        errore = prefisso + f.errorString() + QLatin1Char('.');
        return std::nullopt;
    }
    if (f.size() > MAX_BYTE_FILE_IMPOSTAZIONI) {
        errore = prefisso + QStringLiteral("il file è troppo grande per essere un file delle impostazioni.");
        return std::nullopt;
    }
    const QByteArray dati = f.read(MAX_BYTE_FILE_IMPOSTAZIONI + 1);
    if (f.error() != QFileDevice::NoError) {
        errore = prefisso + f.errorString() + QLatin1Char('.');
        return std::nullopt;
    }
    if (dati.size() > MAX_BYTE_FILE_IMPOSTAZIONI) {
        errore = prefisso + QStringLiteral("il file è troppo grande per essere un file delle impostazioni.");
        return std::nullopt;
    }
    return dati.toStdString();
}

} // namespace

void leggi_funz(Stato& s) {
    QSettings st(QStringLiteral("vexameter"), QStringLiteral("vexameter"));
    st.beginGroup(GRUPPO_FUNZ);
    s.nome_atleta = st.value(QStringLiteral("nome_utente"), QString()).toString().toStdString();
    s.posizioni[1] = posizione_da_testo(st.value(QStringLiteral("pos_utente"), QStringLiteral("0")).toString());
    s.squadra = st.value(QStringLiteral("squadra"), QString()).toString().toStdString();
    s.posizioni[0] = posizione_da_testo(st.value(QStringLiteral("pos_squadra"), QStringLiteral("0")).toString());
}

void salva_funz(const Stato& s) {
    QSettings st(QStringLiteral("vexameter"), QStringLiteral("vexameter"));
    st.beginGroup(GRUPPO_FUNZ);
    st.setValue(QStringLiteral("nome_utente"), da_utf8(s.nome_atleta));
    st.setValue(QStringLiteral("pos_utente"), QString::number(s.posizioni[1]));
    st.setValue(QStringLiteral("squadra"), da_utf8(s.squadra));
    st.setValue(QStringLiteral("pos_squadra"), QString::number(s.posizioni[0]));
    st.endGroup();
    st.sync();
}

ArchivioImpostazioni::ArchivioImpostazioni(Stato& s, const QString& cartella_programma)
    : s_(s), prog_(cartella_programma) {}

QString ArchivioImpostazioni::cartella_atleta(const QString& squadra, const QString& atleta) const {
    QString p = QDir::toNativeSeparators(prog_);
    if (!squadra.isEmpty()) p = unisci(p, squadra);
    if (!atleta.isEmpty()) p = unisci(p, atleta);
    return p;
}

QString ArchivioImpostazioni::percorso_config(const QString& squadra, const QString& atleta) const {
    if (!nome_semplice(squadra) || !nome_semplice(atleta)) return {};
    return unisci(cartella_atleta(squadra, atleta), atleta + QStringLiteral(".cfg"));
}

QStringList ArchivioImpostazioni::atleti(const QString& squadra) const {
    if (!nome_semplice(squadra)) return {};
    const QDir d(cartella_atleta(squadra, QString()));
    if (!d.exists()) return {};
    return d.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
}

QString ArchivioImpostazioni::Leggi_Liste(ListeValori& liste) const {
    const QString file = s_.file_pesi.empty() ? unisci(unisci(prog_, QStringLiteral("ini")), QStringLiteral("pesi.ini"))
                                              : da_utf8(s_.file_pesi);
    if (!QFileInfo::exists(file)) return {};
    QString errore;
    const std::optional<std::string> byte = leggi_file(file, errore);
    if (!byte) {
        non_letti_ << QFileInfo(file).absoluteFilePath();
        return errore;
    }
    Lettura<ListeValori> l = leggi_pesi(*byte);
    if (!l.valore) {
        non_letti_ << QFileInfo(file).absoluteFilePath();
        return QStringLiteral("Errore nel file ") + citato(QDir::toNativeSeparators(file)) + QStringLiteral(". ") +
               da_utf8(l.errore);
    }
    liste = std::move(*l.valore);
    return {};
}

QString ArchivioImpostazioni::Leggi_File_Config(const QString& percorso) {
    QString errore;
    const std::optional<std::string> byte = leggi_file(percorso, errore);
    if (!byte) {
        non_letti_ << QFileInfo(percorso).absoluteFilePath();
        return errore;
    }
    Lettura<ConfigAtleta> l = leggi_cfg(*byte);
    if (!l.valore) {
        non_letti_ << QFileInfo(percorso).absoluteFilePath();
        if (l.errore == MSG_FILE_NON_COMPATIBILE) return QString::fromUtf8(MSG_FILE_NON_COMPATIBILE);
        return QStringLiteral("Errore nel file ") + citato(QDir::toNativeSeparators(percorso)) + QStringLiteral(". ") +
               da_utf8(l.errore);
    }
    s_.posizioni = l.valore->posizioni;
    const QString letta = da_utf8(l.valore->cartella_atleta);
    QString in_uso = letta;
    // Only a folder that is there, named in full, can take the trial files.
    if (!QDir::isAbsolutePath(letta) || !QFileInfo(letta).isDir())
        in_uso = QDir::toNativeSeparators(QFileInfo(percorso).path());
    s_.cartella_atleta = in_uso.toStdString();
    ultimo_ = UltimoLetto{QFileInfo(percorso).absoluteFilePath(), l.valore->cartella_atleta, s_.cartella_atleta};
    return {};
}

QString ArchivioImpostazioni::prepara_cartelle(const QString& squadra, const QString& atleta) {
    if (squadra.isEmpty() && !atleta.isEmpty())
        return QStringLiteral("Manca la squadra dell'atleta ") + citato(atleta) +
               QStringLiteral(": sceglierla o aggiungerla prima di confermare.");
    for (const QString& nome : {squadra, atleta})
        if (!nome.isEmpty() && !nome_semplice(nome))
            return citato(nome) + QStringLiteral(" non può essere il nome di una cartella.");
    if (!squadra.isEmpty()) {
        const QString e = crea_cartella(cartella_atleta(squadra, QString()));
        if (!e.isEmpty()) return e;
    }
    if (!atleta.isEmpty()) {
        const QString e = crea_cartella(cartella_atleta(squadra, atleta));
        if (!e.isEmpty()) return e;
    }
    s_.cartella_atleta = cartella_atleta(squadra, atleta).toStdString();
    return {};
}

QString ArchivioImpostazioni::metti_da_parte(const QString& percorso, bool (*leggibile)(const std::string&),
                                             QString* avviso) {
    const QFileInfo info(percorso);
    if (!info.isFile()) return {};
    // Lists that failed to read are empty on screen: written over, the
    // file would take every squad, load and exercise of the coach with it.
    bool guasto = non_letti_.contains(info.absoluteFilePath());
    if (!guasto) {
        QString errore;
        const std::optional<std::string> byte = leggi_file(percorso, errore);
        guasto = !byte || !leggibile(*byte);
    }
    if (!guasto) return {};
    const QString base = info.completeBaseName() + QStringLiteral(" danneggiato");
    const QString estensione = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    QString dove = info.dir().filePath(base + estensione);
    for (int n = 2; QFileInfo::exists(dove); ++n)
        dove = info.dir().filePath(base + QStringLiteral(" (%1)").arg(n) + estensione);
    if (!QFile::rename(percorso, dove))
        return QStringLiteral("Il file ") + citato(QDir::toNativeSeparators(percorso)) +
               QStringLiteral(" non si legge e non si può mettere da parte: non è stato sovrascritto.");
    non_letti_.removeAll(info.absoluteFilePath());
    if (avviso) {
        if (!avviso->isEmpty()) *avviso += QLatin1Char('\n');
        *avviso += QStringLiteral("Il file ") + citato(QDir::toNativeSeparators(percorso)) +
                   QStringLiteral(" non si leggeva: è conservato com'era in ") + citato(QDir::toNativeSeparators(dove)) +
                   QStringLiteral(", e al suo posto c'è quello nuovo.");
    }
    return {};
}

QString ArchivioImpostazioni::salva(const ListeValori& liste, const QString& filename, QString* avviso) {
    const QString ini = s_.cartella_ini.empty() ? unisci(prog_, QStringLiteral("ini")) : da_utf8(s_.cartella_ini);
    const QString pesi = s_.file_pesi.empty() ? unisci(ini, QStringLiteral("pesi.ini")) : da_utf8(s_.file_pesi);
    const QString non_scritto = QStringLiteral(" Il file dell'atleta non è stato scritto.");
    if (QString e = crea_cartella(ini); !e.isEmpty()) return e + non_scritto;
    auto pesi_leggibile = [](const std::string& b) { return leggi_pesi(b).valore.has_value(); };
    if (QString e = metti_da_parte(pesi, pesi_leggibile, avviso); !e.isEmpty()) return e + non_scritto;
    if (QString e = scrivi_file(pesi, scrivi_pesi(liste)); !e.isEmpty()) return e + non_scritto;

    QString cfg = filename;
    if (cfg.isEmpty()) {
        if (s_.nome_atleta.empty()) return {};
        cfg = percorso_config(da_utf8(s_.squadra), da_utf8(s_.nome_atleta));
        if (cfg.isEmpty())
            return QStringLiteral("Il file dell'atleta non è stato scritto: squadra ") + citato(da_utf8(s_.squadra)) +
                   QStringLiteral(" e atleta ") + citato(da_utf8(s_.nome_atleta)) +
                   QStringLiteral(" non formano il percorso di una cartella.");
    }
    auto cfg_leggibile = [](const std::string& b) { return leggi_cfg(b).valore.has_value(); };
    if (QString e = metti_da_parte(cfg, cfg_leggibile, avviso); !e.isEmpty()) return e;
    ConfigAtleta c{s_.posizioni, s_.cartella_atleta};
    if (ultimo_ && ultimo_->file == QFileInfo(cfg).absoluteFilePath() && ultimo_->cartella_in_uso == s_.cartella_atleta)
        c.cartella_atleta = ultimo_->riga_cartella;
    return scrivi_file(cfg, scrivi_cfg(c));
}

} // namespace vexa
