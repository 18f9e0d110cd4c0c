#pragma once

#include <QString>

// The program's own Italian texts, in one place: what its message boxes say,
// the names and hints screen readers and tooltips give, and the menu of the
// receive box. Stored as UTF-8 so that the main window's control table can
// point at them; text() makes the QString shown.
namespace corvanel::msg {

// Message boxes.
inline constexpr char PortMissing[] = "Porta inesistente";
inline constexpr char PortWrong[] = "Porta errata";
inline constexpr char DecimalsOnly[] = "Inserire numeri decimali";
inline constexpr char HexPairs[] = "2 CARATTERI E 1 SPAZIO es: 02 34 FE 1A ";
inline constexpr char SaveFailed[] = "Impossibile salvare il file %1: %2"; // %1 the file, %2 the reason
inline constexpr char NoSerialPort[] = "Nessuna porta seriale trovata";

// The main window.
inline constexpr char WindowTitle[] = "Corvanel ver 1.6  -email: corvanel@example.org    www.example.org/corvanel";
inline constexpr char LoopStart[] = "Invia Loop";
inline constexpr char LoopStop[] = "Stop Loop";
inline constexpr char ParityHint[] = "N=nessuna E=pari O=dispari";

// Names and descriptions for screen readers.
inline constexpr char PortName[] = "Porta";
inline constexpr char BaudName[] = "bit/sec";
inline constexpr char ParityName[] = "Parità";
inline constexpr char DataBitsName[] = "Dati";
inline constexpr char DtrName[] = "DTR";
inline constexpr char RtsName[] = "RTS";
inline constexpr char PauseName[] = "Pausa tra caratteri";
inline constexpr char PauseUnit[] = "msec";
inline constexpr char SendBoxName[] = "Stringa da inviare";
inline constexpr char ReceiveBoxName[] = "Stringa ricevuta";
inline constexpr char ClearSendName[] = "Clr: cancella la stringa da inviare";
inline constexpr char ClearReceiveName[] = "Clr: cancella la stringa ricevuta";
inline constexpr char LampOn[] = " acceso";
inline constexpr char LampOff[] = " spento";

// The receive box: its menu, and saving it.
inline constexpr char Undo[] = "Annulla";
inline constexpr char Redo[] = "Ripeti";
inline constexpr char Cut[] = "Taglia";
inline constexpr char Copy[] = "Copia";
inline constexpr char Paste[] = "Incolla";
inline constexpr char SelectAll[] = "Seleziona tutto";
inline constexpr char SaveAs[] = "Salva con nome...";
inline constexpr char SaveAsTitle[] = "Salva con nome";
inline constexpr char RereadFailed[] = "impossibile rileggere una parte del testo ricevuto";

inline QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

} // namespace corvanel::msg
