// Every text the archiving run writes to its logs, in one place.
//
// The texts are Windows-1250 bytes. Polish letters are spelled with the macros
// below so that a letter's byte never runs into a following hex digit.
#pragma once

#define ZV_a "\xB9"  // ą
#define ZV_c "\xE6"  // ć
#define ZV_e "\xEA"  // ę
#define ZV_l "\xB3"  // ł
#define ZV_n "\xF1"  // ń
#define ZV_o "\xF3"  // ó
#define ZV_s "\x9C"  // ś
#define ZV_z "\xBF"  // ż

namespace msg {

// Connection and identity checks; each follows "<port> ".
constexpr const char *kNoPrinterReply = "Brak komunikacji z drukark" ZV_a ".";
constexpr const char *kPrinterInTraining = "Drukarka jest w trybie szkoleniowym (lub tylko do odczytu).";
constexpr const char *kPrinterInTransaction =
    "Drukarka jest w stanie transakcji. Nie mo" ZV_z "na przeczyta" ZV_c " parametr" ZV_o "w.";
constexpr const char *kPrinterFiscalIdUnread =
    "Nie mo" ZV_z "na odczyta" ZV_c " numeru unikatowego pami" ZV_e "ci fiskalnej w drukarce.";
constexpr const char *kKeAbsentOrBusy =
    " Kopia Elektroniczna nie jest pod" ZV_l ZV_a "czona do urz" ZV_a "dzenia lub jest zaj" ZV_e "ta.";
constexpr const char *kKeSerialUnread = " Nie mo" ZV_z "na odczyta" ZV_c " numeru seryjnego Kopii Elektronicznej.";
constexpr const char *kKeFiscalIdUnread =
    " Nie mo" ZV_z "na odczyta" ZV_c " numeru unikatowego pami" ZV_e "ci fiskalnej z Kopii Elektronicznej.";
constexpr const char *kFiscalIdMismatch =
    "Nie zgadza si" ZV_e " numer pami" ZV_e "ci fiskalnej z drukarki i Kopii Elektronicznej. KE:";
constexpr const char *kMismatchPrinterPart = " DR:";
// The KE's port cannot be opened: kPortOpen, the port, then why.
constexpr const char *kPortOpen = "Nie mo" ZV_z "na otworzy" ZV_c " portu ";
constexpr const char *kPortBusy = ": port jest zaj" ZV_e "ty przez inny program.";
constexpr const char *kPortMissing = ": port nie istnieje.";
constexpr const char *kPortDenied = ": brak uprawnie" ZV_n " do portu.";
constexpr const char *kDirectoryUnread = " Nie mozna odczyta" ZV_c " zestawu plik" ZV_o "w z Kopii Elektronicznej.";

// Disk synchronisation.
constexpr const char *kCannotCreateFolder = "Nie mo" ZV_z "na utworzy" ZV_c " katalogu: ";
// An archive root ordinary users may write (Windows: Users, Authenticated
// Users or Everyone; Linux: others): they could change what the program
// runs over.
constexpr const char *kRootWritableByUsers =
    "Zwykli u" ZV_z "ytkownicy maj" ZV_a " prawo zapisu w katalogu archiwum; nale" ZV_z "y je odebra" ZV_c ": ";
// A KE directory, its quarantine or its log folder that is a link or no
// folder: nothing is written through it.
constexpr const char *kNotAFolder =
    "Katalog jest dowi" ZV_a "zaniem lub nie jest katalogiem; nic w nim nie zapisano: ";
// Another writer held the KE directory for the whole wait.
constexpr const char *kDirectoryBusy = "Katalog KE jest zaj" ZV_e "ty przez inny program: ";
// Its lock file can be neither made nor opened.
constexpr const char *kNotLockable = "Nie mo" ZV_z "na zablokowa" ZV_c " katalogu KE (plik zarvik.lock): ";
// The lock file was removed or replaced while the lock was held: another
// writer could have taken a new one, so the work there stops.
constexpr const char *kLockLost =
    "Plik blokady (zarvik.lock) usuni" ZV_e "to lub podmieniono; przerwano prac" ZV_e " w katalogu KE: ";
// A KE directory whose entries cannot be listed (never taken for an empty
// one).
constexpr const char *kFolderUnreadable = "Nie mo" ZV_z "na odczyta" ZV_c " katalogu: ";
constexpr const char *kCheckingFolder = "Sprawdzanie katalogu na dysku: ";
constexpr const char *kDeletedBadFile = "Skasowano b" ZV_l ZV_e "dny plik: ";
constexpr const char *kFolderEmpty = "Podkatalog jest pusty.";
constexpr const char *kCheckingKeContents = "Sprawdzanie zawarto" ZV_s "ci Kopii Elektronicznej.";
constexpr const char *kSizeOfFile = "Rozmiar pliku ";
constexpr const char *kSizeDiffersFrom = " jest r" ZV_o ZV_z "ny od ";
constexpr const char *kDiskFileDeleted = ". Plik dyskowy ulega skasowaniu.";
constexpr const char *kFile = "Plik: ";
constexpr const char *kEndMarkerInside =
    " napotkano znacznik ko" ZV_n "ca w " ZV_s "rodku pliku. B" ZV_l ZV_a "d odczytu. Plik nie zapisa" ZV_l " si" ZV_e ".";
constexpr const char *kFileSaved = "Zapisano plik: ";
constexpr const char *kEndMarkerMissing = " brakuje znacznika ko" ZV_n "ca. Plik nie zapisa" ZV_l " si" ZV_e ".";
constexpr const char *kCommunicationError =
    " nie uda" ZV_l "o si" ZV_e " zapisa" ZV_c ". B" ZV_l ZV_a "d komunikacyjny.";
// A fetched file that could not be written to disk.
constexpr const char *kWriteFailed = " nie uda" ZV_l "o si" ZV_e " zapisa" ZV_c ". B" ZV_l ZV_a "d zapisu na dysku.";
// A fetched file whose length is not the size the Directory lists.
constexpr const char *kSizeWrong =
    " ma inny rozmiar ni" ZV_z " w zestawie plik" ZV_o "w. B" ZV_l ZV_a "d odczytu. Plik nie zapisa" ZV_l " si" ZV_e ".";
constexpr const char *kKeEmpty = "Kopia elektroniczna jest pusta.";
// The KE stopped answering file requests; the rest waits for a later run.
constexpr const char *kTransferStopped =
    "Przerwano odczyt plik" ZV_o "w: Kopia Elektroniczna nie odpowiada. Pozosta" ZV_l "e pliki zostan" ZV_a " odczytane przy nast" ZV_e "pnym uruchomieniu.";
// The port went away under the transfer (an adapter pulled out): the port's
// name and the system's reason go between the two parts.
constexpr const char *kPortLost = "Utracono port ";
constexpr const char *kPortLostEnd =
    ". Pozosta" ZV_l "e pliki zostan" ZV_a " odczytane przy nast" ZV_e "pnym uruchomieniu.";
// Directory lines the run cannot use.
constexpr const char *kBadLine = "Pomini" ZV_e "to nieczytelny wiersz zestawu plik" ZV_o "w: ";
constexpr const char *kBadName = "Pomini" ZV_e "to plik o niedozwolonej nazwie: ";

// Damaged files go to the quarantine folder instead of being deleted: where
// each one went, or why it stayed.
constexpr const char *kMovedTo = "Plik przeniesiono do: ";
constexpr const char *kNotMoved =
    "Nie uda" ZV_l "o si" ZV_e " przenie" ZV_s ZV_c " b" ZV_l ZV_e "dnego pliku do katalogu uszkodzone; plik pozostaje na miejscu: ";
constexpr const char *kNotFetchedOver =
    " nie zosta" ZV_l " pobrany: b" ZV_l ZV_e "dna kopia na dysku nie da" ZV_l "a si" ZV_e " przenie" ZV_s ZV_c ".";
constexpr const char *kSumsFailed = "Nie uda" ZV_l "o si" ZV_e " zapisa" ZV_c " pliku SHA256SUMS w katalogu: ";
// A list the run does not write: one it cannot read whole (the path, then
// the system's reason), one with a line that is no line of an archive file
// (the path, then the line's number).
constexpr const char *kSumsUnreadable =
    "Nie mo" ZV_z "na odczyta" ZV_c " ca" ZV_l "ego pliku SHA256SUMS; nic do niego nie dopisano: ";
constexpr const char *kSumsBadLine = "Plik SHA256SUMS zawiera b" ZV_l ZV_e "dny wiersz; nic do niego nie dopisano: ";
constexpr const char *kLineNumber = ", wiersz ";
// A disk file without a line, fetched again and compared with the KE's.
constexpr const char *kSameAsKe = "Plik na dysku jest zgodny z KE; dopisano sum" ZV_e " kontroln" ZV_a ": ";
constexpr const char *kDiffersFromKe = "Plik na dysku bez sumy kontrolnej r" ZV_o ZV_z "ni si" ZV_e " od pliku z KE: ";
// A file the KE no longer lists gets its line from the disk.
constexpr const char *kLineFromDisk = "Pliku nie ma ju" ZV_z " w KE; suma kontrolna z pliku na dysku: ";
// A fetched file whose bytes are not those its line vouches for; the line
// stays.
constexpr const char *kFetchedDiffers =
    "Plik z KE nie zgadza si" ZV_e " z sum" ZV_a " kontroln" ZV_a "; wiersz pozostaje bez zmian: ";
// An error that escaped a job's run; the error's own text follows.
// A run started outside its printer window leaves a printer alone: after the
// port, the window as it was set (ZARVIK_DR_WINDOW=HH:MM-HH:MM or
// OKNO=HH:MM-HH:MM), then the run's start.
constexpr const char *kDrSkipped = "Pomini" ZV_e "to drukark" ZV_e " poza oknem ";
constexpr const char *kDrSkippedStart = " (uruchomienie o ";
// The run stopped from outside; the signal's or event's name follows.
constexpr const char *kRunStopped = "Przerwano: ";
constexpr const char *kJobAborted = "Przerwano prac" ZV_e " z powodu b" ZV_l ZV_e "du programu: ";

} // namespace msg
