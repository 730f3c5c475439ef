#pragma once

// The four check boxes of the main window, read at the moment they are needed;
// the console and the command line set them.
struct Switches
{
    bool Check1 = true;   // "Visualizza Errori": error reports also go to the error list
    bool OPT1 = false;    // "Visualizza Comandi": received messages are echoed to the message list
    bool TraceON = false; // "Trace ON": SpY writes trace points
    bool SalvaT = false;  // "Salva Tutto": the log keeps the filtered traffic too
};
