-- The six tables Parvix reads and writes, and its own ParvixScarico, for an
-- embedded SQLite database.
-- Dates are text YYYY-MM-DD and date-times text YYYY-MM-DD HH:MM:SS.
CREATE TABLE Dipendenti (
    NumOrdine INTEGER PRIMARY KEY,
    NumBadge INTEGER NOT NULL,
    Cognome TEXT,
    Nome TEXT,
    Collaudo TEXT,
    Reparto TEXT
);
CREATE TABLE Presenze (
    Progr INTEGER PRIMARY KEY AUTOINCREMENT,
    Terminale INTEGER,
    Dipendente INTEGER,
    Data TEXT,
    Causale INTEGER,
    Ora INTEGER,
    Minuti INTEGER,
    Flag INTEGER,
    DataComp TEXT,
    OrdComp INTEGER
);
CREATE TABLE Ordini (
    Anno INTEGER NOT NULL,
    Filiale INTEGER NOT NULL,
    Numero INTEGER NOT NULL,
    Progressivo INTEGER NOT NULL,
    Chiuso INTEGER,
    Targa TEXT,
    Finito INTEGER,
    Data TEXT,
    Reparto INTEGER,
    Descrizione TEXT,
    CodBarre TEXT,
    PRIMARY KEY (Anno, Filiale, Numero, Progressivo)
);
-- Work sheets carry no key of their own.
CREATE TABLE SchedeLav (
    Anno INTEGER,
    Filiale INTEGER,
    Ordine INTEGER,
    Progressivo INTEGER,
    PosizLav INTEGER,
    Dipendente INTEGER,
    Data TEXT,
    Terminale INTEGER,
    Causale INTEGER,
    OraInizio TEXT,
    OraFine TEXT,
    Totale INTEGER,
    InLavoraz INTEGER,
    Flag INTEGER,
    Note TEXT
);
CREATE TABLE TestatePrenotazioni (
    AnnoOrdine INTEGER,
    Filiale INTEGER,
    NumOrdine INTEGER,
    ProgrOrdine INTEGER,
    Stato INTEGER
);
CREATE TABLE RigheOrdini (
    Anno INTEGER,
    Numero INTEGER,
    Filiale INTEGER,
    Progressivo INTEGER,
    Posizione INTEGER,
    Tipo TEXT,
    Testo1 TEXT,
    Testo2 TEXT,
    Testo3 TEXT,
    Testo4 TEXT
);

-- Every transit counts the employee's attendance of the day and looks for
-- the employee's open work sheet of the day: without these each transit
-- reads the whole table.
CREATE INDEX Presenze_Dipendente_DataComp ON Presenze (Dipendente, DataComp);
CREATE INDEX SchedeLav_Dipendente_Data ON SchedeLav (Dipendente, Data);

-- The one table of Parvix's own, which a site installs with the others: a
-- stored transit posted from a terminal's file commits its key here in the
-- same transaction, so a posting cut short by a crash is finished without
-- posting a transit twice. The server never creates it; without it, stored
-- transits are posted without the key (see docs/operations.md).
CREATE TABLE ParvixScarico (
    Chiave VARCHAR(64) NOT NULL PRIMARY KEY,
    Registrato TEXT
);
