-- The six tables Parvix reads and writes, and its own ParvixScarico, for PostgreSQL.
CREATE TABLE Dipendenti (
    NumOrdine smallint PRIMARY KEY,
    NumBadge integer NOT NULL,
    Cognome varchar(40),
    Nome varchar(40),
    Collaudo varchar(1),
    Reparto varchar(10)
);
CREATE TABLE Presenze (
    Progr serial PRIMARY KEY,
    Terminale integer,
    Dipendente smallint,
    Data date,
    Causale integer,
    Ora smallint,
    Minuti smallint,
    Flag smallint,
    DataComp date,
    OrdComp integer
);
CREATE TABLE Ordini (
    Anno smallint NOT NULL,
    Filiale smallint NOT NULL,
    Numero integer NOT NULL,
    Progressivo smallint NOT NULL,
    Chiuso smallint,
    Targa varchar(20),
    Finito smallint,
    Data date,
    Reparto integer,
    Descrizione varchar(50),
    CodBarre varchar(20),
    PRIMARY KEY (Anno, Filiale, Numero, Progressivo)
);
-- Work sheets carry no key of their own.
CREATE TABLE SchedeLav (
    Anno smallint,
    Filiale smallint,
    Ordine integer,
    Progressivo smallint,
    PosizLav integer,
    Dipendente smallint,
    Data date,
    Terminale integer,
    Causale integer,
    OraInizio timestamp,
    OraFine timestamp,
    Totale integer,
    InLavoraz smallint,
    Flag smallint,
    Note varchar(50)
);
CREATE TABLE TestatePrenotazioni (
    AnnoOrdine smallint,
    Filiale smallint,
    NumOrdine integer,
    ProgrOrdine smallint,
    Stato smallint
);
CREATE TABLE RigheOrdini (
    Anno smallint,
    Numero integer,
    Filiale smallint,
    Progressivo smallint,
    Posizione integer,
    Tipo varchar(10),
    Testo1 varchar(80),
    Testo2 varchar(80),
    Testo3 varchar(80),
    Testo4 varchar(80)
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
    Chiave varchar(64) NOT NULL PRIMARY KEY,
    Registrato timestamp
);
