#include "salvataggio.h"

#include "file_vbt.h"
#include "settings/testo_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>

namespace vexa {

namespace {

// The time separator is what stands between the hour and the minutes of the
// short time format ("HH:mm" ":", "H.mm" "."), quotes removed.
QString separatore_ora(const QString& formato) {
    int i = 0;
    while (i < formato.size() && formato[i] != u'h' && formato[i] != u'H') {
        if (formato[i] == u'\'') {
            const auto fine = formato.indexOf(u'\'', i + 1);
            i = fine < 0 ? static_cast<int>(formato.size()) : static_cast<int>(fine);
        }
        ++i;
    }
    while (i < formato.size() && (formato[i] == u'h' || formato[i] == u'H')) ++i;
    QString sep;
    bool citato = false;
    for (; i < formato.size() && (citato || formato[i] != u'm'); ++i) {
        if (formato[i] == u'\'')
            citato = !citato;
        else
            sep += formato[i];
    }
    // A word between them ("HH 'h' mm") is not a separator the files can use.
    bool valido = !sep.isEmpty();
    for (QChar c : sep)
        if (c.isLetterOrNumber()) valido = false;
    if (!valido || !rappresentabile_cp1252(sep.toStdString())) return QStringLiteral(":");
    return sep;
}

QString motivo_errno(int e) {
    switch (e) {
    case ENOSPC: return QStringLiteral("il disco \u00e8 pieno");
#ifdef EDQUOT
    case EDQUOT: return QStringLiteral("lo spazio concesso sul disco \u00e8 esaurito");
#endif
    case EACCES:
    case EPERM: return QStringLiteral("accesso negato");
    case EROFS: return QStringLiteral("il disco \u00e8 di sola lettura");
    case ENOENT: return QStringLiteral("la cartella non esiste");
    case ENOTDIR: return QStringLiteral("il percorso non \u00e8 una cartella");
    case EISDIR: return QStringLiteral("esiste una cartella con questo nome");
    case ENAMETOOLONG: return QStringLiteral("il nome \u00e8 troppo lungo");
    case EFBIG: return QStringLiteral("il file supera la dimensione consentita");
    case EIO: return QStringLiteral("errore del dispositivo");
    default: return {};
    }
}

// Qt tells the kind of failure; errno, read right after it, tells the cause.
QString motivo(const QFileDevice& f, int e) {
    QString m = motivo_errno(e);
    if (m.isEmpty()) {
        switch (f.error()) {
        case QFileDevice::PermissionsError: m = QStringLiteral("accesso negato"); break;
        case QFileDevice::ResourceError: m = QStringLiteral("risorse insufficienti o disco pieno"); break;
        case QFileDevice::OpenError: m = QStringLiteral("il file non si pu\u00f2 creare"); break;
        case QFileDevice::RenameError: m = QStringLiteral("il file precedente non si pu\u00f2 sostituire"); break;
        default: m = QStringLiteral("errore di scrittura"); break;
        }
        if (!f.errorString().isEmpty()) m += QStringLiteral(" (") + f.errorString() + QStringLiteral(")");
    }
    return m;
}

QString errore_scrittura(const QString& percorso, const QString& perche) {
    return QStringLiteral("Impossibile salvare il file \"%1\": %2.").arg(QDir::toNativeSeparators(percorso), perche);
}

} // namespace

FormatoLocale formato_locale(const QLocale& locale) {
    FormatoLocale f;
    const QString punto = locale.decimalPoint();
    f.separatore = punto.size() == 1 && punto[0].unicode() < 0x80 && !punto[0].isLetterOrNumber()
                       ? static_cast<char>(punto[0].unicode())
                       : '.';
    f.separatore_ora = separatore_ora(locale.timeFormat(QLocale::ShortFormat)).toStdString();
    for (int m = 1; m <= 12; ++m) {
        const QString nome = locale.monthName(m, QLocale::ShortFormat);
        if (!nome.isEmpty()) f.mesi_brevi[static_cast<std::size_t>(m - 1)] = nome.toStdString();
    }
    return f;
}

DataOra data_ora(const QDateTime& quando) {
    const QDate d = quando.date();
    const QTime t = quando.time();
    return {d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()};
}

DataOra adesso() { return data_ora(QDateTime::currentDateTime()); }

QString scrivi_file(const QString& percorso, const QByteArray& byte) {
    if (percorso.isEmpty()) return QStringLiteral("Impossibile salvare il file: manca il nome.");
    const QFileInfo info(percorso);
    if (!info.dir().exists()) return errore_scrittura(percorso, QStringLiteral("la cartella non esiste"));
    if (info.isDir()) return errore_scrittura(percorso, QStringLiteral("esiste una cartella con questo nome"));
    // The old file stays whole until the new one is: a full disk or a pulled
    // stick halfway through never leaves a truncated trial behind.
    QSaveFile f(percorso);
    errno = 0;
    if (!f.open(QIODevice::WriteOnly)) return errore_scrittura(percorso, motivo(f, errno));
    errno = 0;
    // commit() flushes the buffered tail without looking at the result, so a
    // disk that fills up on the last few kilobytes must be caught here.
    if (f.write(byte) != byte.size() || !f.flush()) {
        const QString perche = motivo(f, errno);
        f.cancelWriting();
        f.commit(); // discards the temporary file
        return errore_scrittura(percorso, perche);
    }
    errno = 0;
    if (!f.commit()) return errore_scrittura(percorso, motivo(f, errno));
    return {};
}

QString scrivi_file(const QString& percorso, const std::string& byte) {
    return scrivi_file(percorso, QByteArray(byte.data(), static_cast<qsizetype>(byte.size())));
}

std::variant<QByteArray, QString> leggi_file(const QString& percorso, qint64 massimo) {
    const QString nome = QDir::toNativeSeparators(percorso);
    QFile f(percorso);
    errno = 0;
    if (!f.open(QIODevice::ReadOnly)) {
        QString perche = motivo_errno(errno);
        if (perche.isEmpty()) perche = f.errorString();
        if (!QFileInfo::exists(percorso)) perche = QStringLiteral("il file non esiste");
        return QStringLiteral("Impossibile aprire il file \"%1\": %2.").arg(nome, perche);
    }
    if (f.size() > massimo)
        return QStringLiteral("Il file \"%1\" \u00e8 troppo grande per essere una prova.").arg(nome);
    QByteArray byte = f.read(massimo + 1);
    if (f.error() != QFileDevice::NoError)
        return QStringLiteral("Impossibile leggere il file \"%1\": %2.").arg(nome, f.errorString());
    if (byte.size() > massimo)
        return QStringLiteral("Il file \"%1\" \u00e8 troppo grande per essere una prova.").arg(nome);
    return byte;
}

QString nome_file_valido(const QString& nome) {
    QString n = nome;
#ifdef Q_OS_WIN
    const QString vietati = QStringLiteral("<>:\"/\\|?*");
#else
    const QString vietati = QStringLiteral("/");
#endif
    for (QChar& c : n)
        if (c.unicode() == 0 || c.unicode() < 0x20 || vietati.contains(c)) c = u'-';
#ifdef Q_OS_WIN
    while (n.endsWith(u'.') || n.endsWith(u' ')) n.chop(1);
#endif
    if (n.isEmpty() || n == QStringLiteral(".") || n == QStringLiteral("..")) n = QStringLiteral("prova");
    // Most file systems take 255 bytes a name; room is left for " (999) dati.csv".
    while (n.toUtf8().size() > 230) n.chop(1);
    return n;
}

std::optional<PercorsiAutomatici> percorsi_automatici(const QString& cartella, const DataOra& quando,
                                                      const FormatoLocale& f) {
    const QString base = nome_file_valido(QString::fromStdString(nome_automatico(quando, f)));
    const QDir dir(cartella);
    for (int n = 1; n <= 999; ++n) {
        const QString nome = n == 1 ? base : base + QStringLiteral(" (%1)").arg(n);
        PercorsiAutomatici p{dir.filePath(nome + QStringLiteral(".csv")), dir.filePath(nome + QStringLiteral(" dati.csv"))};
        if (!QFileInfo::exists(p.intero) && !QFileInfo::exists(p.dati) &&
            !QFileInfo::exists(QString::fromStdString(nome_file_vbt(p.dati.toStdString()))))
            return p;
    }
    return std::nullopt;
}

} // namespace vexa
