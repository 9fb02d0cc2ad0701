// Where the athlete and exercise settings live between runs: "pesi.ini" in the
// settings folder, a folder per squad and per athlete under the data folder
// with the athlete's ".cfg" in it, and the "funz" group of the per-user
// settings store. Failures come back as Italian texts for the caller to show;
// nothing here opens a window.
#pragma once

#include "analysis/stato.h"
#include "formato_impostazioni.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <string>

namespace vexa {

// Anything bigger is not a settings file, and is not read into memory.
inline constexpr qint64 MAX_BYTE_FILE_IMPOSTAZIONI = 16 * 1024 * 1024;

// "nome_utente", "squadra", "pos_utente" and "pos_squadra" of the "funz" group
// into nome_atleta, squadra, posizioni[1] and posizioni[0]; absent keys give
// "" and 0, a position is the number its text starts with.
void leggi_funz(Stato& s);
void salva_funz(const Stato& s);

class ArchivioImpostazioni {
public:
    // `cartella_programma` is the data folder; cartella_ini and file_pesi come
    // from the state, set at start-up.
    ArchivioImpostazioni(Stato& s, const QString& cartella_programma);

    const QString& cartella_programma() const { return prog_; }

    // Folders are always built from the names, never from a stored path.
    // Empty names are left out, so no athlete gives the squad's folder.
    QString cartella_atleta(const QString& squadra, const QString& atleta) const;
    // The athlete's ".cfg"; empty when either name cannot name a folder.
    QString percorso_config(const QString& squadra, const QString& atleta) const;
    // The folder names in the squad's folder, in name order; none when the
    // squad has no folder or its name cannot name one.
    QStringList atleti(const QString& squadra) const;

    // Reads "pesi.ini" into `liste`, whole or not at all. A missing file is
    // no error and leaves the lists as they are.
    QString Leggi_Liste(ListeValori& liste) const;
    // Reads an athlete's ".cfg" into posizioni and cartella_atleta, only when
    // it reads whole. A stored folder that does not exist here (a file from
    // another system) gives way to the folder the file is in, which is the
    // one the names build; the positions are taken all the same.
    QString Leggi_File_Config(const QString& percorso);
    // The squad's folder, then the athlete's in it, created when missing, and
    // cartella_atleta set to the latter. A failure changes nothing in the state.
    QString prepara_cartelle(const QString& squadra, const QString& atleta);
    // "pesi.ini", then the athlete's ".cfg": `filename`, or when empty the
    // file of nome_atleta in squadra (none when there is no athlete). When
    // "pesi.ini" fails the ".cfg" is not written. A file in the way that did
    // not read whole (now, or when this archive read it) is never written
    // over: it is kept aside as "<name> danneggiato<ext>" first, and
    // `avviso` gets what to tell the coach.
    QString salva(const ListeValori& liste, const QString& filename, QString* avviso = nullptr);

private:
    QString metti_da_parte(const QString& percorso, bool (*leggibile)(const std::string&), QString* avviso);

    Stato& s_;
    QString prog_;
    mutable QStringList non_letti_; // settings files this archive could not read
    // The last ".cfg" read: which file, its folder line as written, and what
    // cartella_atleta became. Saving the same athlete with that folder still
    // in use writes the line back as it was, so a file from another system,
    // confirmed unchanged, comes back byte for byte.
    struct UltimoLetto {
        QString file;
        std::string riga_cartella;
        std::string cartella_in_uso;
    };
    std::optional<UltimoLetto> ultimo_;
};

} // namespace vexa
