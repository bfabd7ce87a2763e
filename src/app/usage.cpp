// The usage text printed in help mode. The lines are Windows-1250 bytes; each
// is printed followed by CR LF.
#include "app/modes.h"

#include <iterator>
#include <string>

#include "platform/console.h"

namespace {

const char *const kUsageLines[] = {
    "Wywolanie: Zarvik <plik> V",
    "Pierwszy parametr moze miec wartosc HELP ? lub LIST.",
    "W pierwszym przypadku nastapi wyprowadzenie niniejszego komunikatu.",
    "Po wykryciu LIST program wygeneruje raport o urzadzeniach w systemie.",
    "Na zakonczenie raportu o urzadzeniach zostanie dolaczony raport ",
    "o konfiguracji biezacej komputera.",
    "LIST <par2> <par3>",
    "<par2>  - Sciezka i nazwa pliku gdzie zapisac raport (c:\\test.txt)",
    "<par3>  - Napis zawierajacy nastepujace ciagi: (NALL_NFILTER_COM)",
    "ALL     - Wszystkie zainstalowane kiedykolwiek urzadzenia.",
    "NALL    - Tylko urzadzenia zainstalowane w chwili wywolania.",
    "FILTER  - Zapytanie dotyczy tylko urzadzen VEMORA.",
    "NFILTER - Zapytanie dotyczy wszystkich urzadzen.",
    "COM     - Poszukiwanie dotyczy tylko portow szeregowych.",
    "NCOM    - Poszukiwanie dotyczy wszystkich urzadzen.",
    "",
    "W przypadku braku powyzszych parametrow nalezy podac sciezke",
    "z plikami archiwizacyjnymi. Jesli brak sciezki, to program",
    "pobiera sciezke robocza ustawiona dla tego programu i tam",
    "wykonuje proces archiwizacji. Program tworzy katalogi o nazwie",
    "identycznej z numerem fabrycznym Kopii Elekktronicznej.",
    "Plik z logiem wykonanych czynnosci nalezy szukac w podkatalogu",
    "o nazwie LOG w katalogu roboczym.",
    "",
    "Drugim parametrem moze byc numer portu lub skrot DR.",
    "DR oznacza polaczenie z kopia elektroniczna za pomoca drukarki.",
    "Program nie bedzie wykonywa\xB3" " transmisji z drukarek pod\xB3" "aczonych",
    "do portu USB. Komunikacja z kopia odbywac sie bedzie poprzez",
    "znalezione zwyk\xB3" "e porty szeregowe.",
    "",
    "Jesli jest obecny parametr DR, to na 3 pozycji moze wystapic",
    "numer portu. Wtedy archiwizacja odbywa sie z konkretnego portu.",
    "",
    "Jesli brak jest parametru DR, wtedy wystapienie nazwy portu",
    "szeregowego wymusza archiwizacje z tego portu i nie wymagana",
    "jest drukarka.",
    "",
    "Przyklady:",
    "zarvik                   - przesukanie automatyczne port\xF3" "w i ",
    "                               archiwizacja na wszystkich portach USB",
    "zarvik c:dane           - archiwizacja do danego katalogu USB",
    "zarvik c:dane com34     - archiwizacja bezpo\x9C" "rednio z kopii",
    "zarvik c:dane DR        - archiwizacja poprzez wszystkie znalezione",
    "                               drukarki podlaczone do zwyklych portow",
    "zarvik c:dane DR com1   - archiwizacja poprzez port szeregowy",
    "                               drukarki podlaczonej do com1 wylacznie",
    "zarvik c:dane DR com3 com10",
    "                             - archiwizacja poprzez porty drukarek",
    "                               dla port\xF3" "w szeregowych pocz\xB9" "wszy od",
    "                               com3 do com10 wlacznie",
    "",
    "zarvik LIST c:\\raport.txt ALL_COM_NFILTER",
    "                             - wykonanie raportu z zainstalowanych",
    "                               kiedykolwiek portow szeregowych",
    "zarvik LIST              - raport w c:\\test.txt o wszystkich",
    "                               portach com aktywnych w tym momencie.",
    "",
    "Wcisnij <Enter>",
    "",
};

} // namespace

void PrintUsage() {
  std::string text;
  for (const char *line : kUsageLines) {
    text += line;
    text += "\r\n";
  }
  plat::ConsoleWrite(text);
}
