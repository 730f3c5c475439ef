-- Demo data, the same for every backend (plain SQL, ISO dates).
-- Badges: 0042 Rossi (may finish orders), 0043 Bianchi (Collaudo empty: may not),
-- 0044 Verdi ("N": may not), 0045 Neri ("n": may).
INSERT INTO Dipendenti (NumOrdine, NumBadge, Cognome, Nome, Collaudo, Reparto) VALUES (1, 42, 'Rossi', 'Mario', 'S', '1');
INSERT INTO Dipendenti (NumOrdine, NumBadge, Cognome, Nome, Collaudo, Reparto) VALUES (2, 43, 'Bianchi', 'Anna', NULL, '2');
INSERT INTO Dipendenti (NumOrdine, NumBadge, Cognome, Nome, Collaudo, Reparto) VALUES (3, 44, 'Verdi', 'Luca', 'N', NULL);
INSERT INTO Dipendenti (NumOrdine, NumBadge, Cognome, Nome, Collaudo, Reparto) VALUES (4, 45, 'Neri', 'Sara', 'n', '105');

-- Orders of 2024, branch 1: 12 open, 13 closed with a plate, 14 open with a plate.
INSERT INTO Ordini (Anno, Filiale, Numero, Progressivo, Chiuso, Targa, Finito, Data, Reparto, Descrizione, CodBarre) VALUES (24, 1, 12, 0, 0, NULL, 0, '2024-01-10', 100, 'Telaio', '*241000120*');
INSERT INTO Ordini (Anno, Filiale, Numero, Progressivo, Chiuso, Targa, Finito, Data, Reparto, Descrizione, CodBarre) VALUES (24, 1, 13, 0, 1, 'AB123CDXYZ', 1, '2024-01-11', 100, 'Rimorchio', '*241000130*');
INSERT INTO Ordini (Anno, Filiale, Numero, Progressivo, Chiuso, Targa, Finito, Data, Reparto, Descrizione, CodBarre) VALUES (24, 1, 14, 0, NULL, 'FG456HI', 0, '2024-01-12', 100, 'Cassone', '*241000140*');

INSERT INTO RigheOrdini (Anno, Numero, Filiale, Progressivo, Posizione, Tipo, Testo1, Testo2, Testo3, Testo4) VALUES (24, 12, 1, 0, 1, '2', 'Taglio lamiera', 'spessore 3 mm', NULL, NULL);
INSERT INTO RigheOrdini (Anno, Numero, Filiale, Progressivo, Posizione, Tipo, Testo1, Testo2, Testo3, Testo4) VALUES (24, 12, 1, 0, 2, '1', 'Saldatura', NULL, NULL, NULL);
INSERT INTO RigheOrdini (Anno, Numero, Filiale, Progressivo, Posizione, Tipo, Testo1, Testo2, Testo3, Testo4) VALUES (24, 14, 1, 0, 1, '3', 'Verniciatura', 'RAL 5010', 'due mani', NULL);

INSERT INTO TestatePrenotazioni (AnnoOrdine, Filiale, NumOrdine, ProgrOrdine, Stato) VALUES (24, 1, 12, 0, 1);
INSERT INTO TestatePrenotazioni (AnnoOrdine, Filiale, NumOrdine, ProgrOrdine, Stato) VALUES (24, 1, 14, 0, 1);
