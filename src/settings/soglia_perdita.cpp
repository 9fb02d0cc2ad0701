#include "soglia_perdita.h"

#include <QSettings>
#include <QUrl>
#include <cmath>

namespace vexa {

namespace {

// Each name percent-encoded: a "/" in an exercise must not open a group.
QString chiave(const std::string& squadra, const std::string& atleta, const std::string& esercizio) {
    QString k = QStringLiteral("soglie_perdita");
    for (const std::string* nome : {&squadra, &atleta, &esercizio})
        k += QLatin1Char('/') + QString::fromLatin1(QUrl::toPercentEncoding(QString::fromStdString(*nome)));
    return k;
}

} // namespace

float leggi_soglia_perdita(const std::string& squadra, const std::string& atleta, const std::string& esercizio) {
    if (atleta.empty() || esercizio.empty()) return SOGLIA_PERDITA_PREDEFINITA;
    const QSettings st(QStringLiteral("vexameter"), QStringLiteral("vexameter"));
    bool ok = false;
    const double v = st.value(chiave(squadra, atleta, esercizio)).toString().toDouble(&ok);
    if (!ok || !(v >= 0 && v <= SOGLIA_PERDITA_MASSIMA) || v != std::floor(v)) return SOGLIA_PERDITA_PREDEFINITA;
    return static_cast<float>(v);
}

QString salva_soglia_perdita(const std::string& squadra, const std::string& atleta, const std::string& esercizio,
                             float soglia) {
    if (atleta.empty() || esercizio.empty()) return {};
    QSettings st(QStringLiteral("vexameter"), QStringLiteral("vexameter"));
    st.setValue(chiave(squadra, atleta, esercizio), QString::number(static_cast<double>(soglia)));
    st.sync();
    if (st.status() == QSettings::NoError) return {};
    return QStringLiteral("Impossibile salvare la soglia di perdita di velocità di %1 in %2: le impostazioni "
                          "dell'utente (%3) non si possono scrivere.")
        .arg(QString::fromStdString(atleta), QString::fromStdString(esercizio), st.fileName());
}

} // namespace vexa
