// AUDIT's page for people: raport.html, in Polish, one file with its styles
// inline (no script, nothing fetched from elsewhere), a summary page and one
// printed A4 page per KE. A state is always said in words and a symbol as
// well as by colour, so the page reads the same printed in black and white.
#include <algorithm>
#include <cstdio>
#include <string>

#include "archive/archmessages.h"
#include "archive/audit.h"
#include "archive/kedirectory.h"
#include "platform/cp1250.h"
#include "platform/files.h"

namespace {

// A letter the messages' macros leave out (a Windows-1250 byte as well).
#define ZV_x "\x9F"  // ź

// Lists longer than this are cut on the page (raport.json has them whole),
// so that a KE's account stays on its page.
constexpr size_t kListedNames = 9;
constexpr size_t kListedGaps = 6;
// Beyond this many months the calendar is drawn small, without day numbers,
// in three columns (a KE's life of ten years and more still fits its page).
constexpr int kFullCalendarMonths = 24;
// Beyond this many, one row per year, a cell per month with its days that
// have a file.
constexpr int kMonthCalendarMonths = 60;

const char *const kMonths[] = {"stycze" ZV_n, "luty", "marzec", "kwiecie" ZV_n, "maj", "czerwiec", "lipiec",
                               "sierpie" ZV_n, "wrzesie" ZV_n, ZV_x "dziernik", "listopad", "grudzie" ZV_n};

constexpr const char *kStyle = R"(
@page { size: A4; margin: 14mm 14mm 14mm 14mm; }
* { box-sizing: border-box; }
body { font-family: "DejaVu Sans", Arial, sans-serif; font-size: 8.5pt; color: #111; margin: 0; }
.page { page-break-after: always; break-after: page; }
.page:last-child { page-break-after: auto; break-after: auto; }
@media screen { body { background: #eee; } .page { background: #fff; width: 210mm; min-height: 297mm;
  margin: 8mm auto; padding: 14mm; box-shadow: 0 0 4px #999; } }
h1 { font-size: 15pt; margin: 0 0 2mm; } h2 { font-size: 10pt; margin: 3mm 0 1mm; }
p.line { margin: 1.2mm 0; } p.line b { font-size: 10pt; }
.sub { color: #444; margin: 0 0 3mm; }
table { border-collapse: collapse; }
table.grid td, table.grid th { border: 1px solid #888; padding: 0.5mm 2mm; text-align: left; vertical-align: top; }
table.grid th { background: #eee; }
table.head th { text-align: left; font-weight: normal; color: #444; padding: 0.3mm 4mm 0.3mm 0; white-space: nowrap; }
table.head td { font-weight: bold; padding: 0.3mm 0; }
.st { font-weight: bold; white-space: nowrap; padding: 0.5mm 2mm; border: 1.5px solid; }
.ok { background: #e3f4e3; border-color: #2e7d32; } .gap { background: #fff4d6; border-color: #b26a00; }
.bad { background: #fde2e2; border-color: #c62828; }
.verdict { font-size: 12pt; display: inline-block; margin: 2mm 0 3mm; }
.nw { white-space: nowrap; }
.mono { font-family: "DejaVu Sans Mono", monospace; }
.names { font-family: "DejaVu Sans Mono", monospace; font-size: 8pt; columns: 3; margin: 0; padding-left: 5mm; }
.none { color: #444; font-style: italic; }
table.cal { margin-bottom: 2mm; }
table.cal th { font-weight: normal; text-align: left; width: 24mm; white-space: nowrap; font-size: 8pt; }
table.cal td { width: 4.9mm; height: 4.2mm; border: 1px solid #bbb; text-align: center; font-size: 6.5pt; color: #777; }
table.cal td.f { background: #1f4e8c; color: #fff; font-weight: bold; border: 1px solid #1f4e8c; }
table.cal td.x { border: none; }
table.years td { width: 11mm; font-size: 7pt; } table.years th { text-align: center; }
.dense { columns: 3; column-gap: 3mm; }
.dense table.cal { margin: 0; break-inside: avoid; }
.dense table.cal th { width: 11mm; font-size: 6pt; padding-right: 1mm; }
.dense table.cal td { width: 1.55mm; height: 1.8mm; font-size: 0; border-width: 0.5px; }
.legend { margin: 1mm 0; }
.legend span { display: inline-block; width: 4mm; height: 3mm; vertical-align: middle; margin: 0 1mm 0 3mm; }
.fp { font-size: 8.5pt; }
)";

std::string Pl(const char *text) { return Cp1250ToUtf8(text); }

std::string Escape(const std::string &text) {
  std::string out;
  for (char c : AnyTextToUtf8(text)) {
    switch (c) {
    case '&': out += "&amp;"; break;
    case '<': out += "&lt;"; break;
    case '>': out += "&gt;"; break;
    case '"': out += "&quot;"; break;
    case '\'': out += "&#39;"; break;
    default: out += c;
    }
  }
  return out;
}

std::string OrNoData(const std::string &text) {
  return text.empty() ? "<span class=\"none\">brak danych</span>" : Escape(text);
}

// The class and the words of a KE's status.
// "(count)", or "(count, pokazano shown)" when the page cuts the list.
std::string Count(size_t count, size_t shown) {
  if (count <= shown)
    return " (" + std::to_string(count) + ")";
  return " (" + std::to_string(count) + Pl(", pokazano ") + std::to_string(shown) + ")";
}

std::string StatusBadge(const KeAccount &ke) {
  const std::string status = ke.Status();
  if (status == "kompletne")
    return "<span class=\"st ok\">&#10003; kompletne</span>";
  if (status == "luki")
    return "<span class=\"st gap\">! luki</span>";
  return "<span class=\"st bad\">&#10007; zmienione pliki</span>";
}

std::string ExitMeaning(int code) {
  if (code == 0)
    return Pl("0 (zako" ZV_n "czone bez b" ZV_l ZV_e "du)");
  if (code == 7)
    return Pl("7 (nie wszystkie pliki pobrano)");
  return std::to_string(code) + Pl(" (zako" ZV_n "czone b" ZV_l ZV_e "dem)");
}

int DaysIn(int year, int month) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : days[month - 1];
}

void YearCalendar(std::string &html, const KeAccount &ke, int firstYear, int lastYear) {
  html += Pl("<table class=\"cal years\"><tr><th></th>");
  for (int month = 1; month <= 12; ++month)
    html += "<th>" + std::to_string(month) + "</th>";
  html += "</tr>";
  for (int year = firstYear; year <= lastYear; ++year) {
    html += "<tr><th>" + std::to_string(year) + "</th>";
    for (int month = 1; month <= 12; ++month) {
      char prefix[16];
      std::snprintf(prefix, sizeof prefix, "%04d-%02d", year % 10000, month);
      const auto from = std::lower_bound(ke.days.begin(), ke.days.end(), std::string(prefix));
      const auto to = std::lower_bound(ke.days.begin(), ke.days.end(), std::string(prefix) + "-99");
      html += from != to ? "<td class=\"f\">" + std::to_string(to - from) + "</td>" : "<td></td>";
    }
    html += "</tr>";
  }
  html += Pl("</table><p class=\"legend\"><span style=\"background:#1f4e8c\"></span>miesi" ZV_a
             "c z plikami (liczba dni z plikiem)<span style=\"border:1px solid #bbb\"></span>miesi" ZV_a
             "c bez pliku</p>");
}

// One row per month from the first date's to the last's, a cell per day,
// the days with a file filled and in bold.
void Calendar(std::string &html, const KeAccount &ke) {
  if (ke.days.empty()) {
    html += Pl("<p class=\"none\">Brak plik" ZV_o "w z dat" ZV_a " w nazwie.</p>");
    return;
  }
  const int firstYear = std::stoi(ke.days.front().substr(0, 4));
  const int firstMonth = std::stoi(ke.days.front().substr(5, 2));
  const int lastYear = std::stoi(ke.days.back().substr(0, 4));
  const int lastMonth = std::stoi(ke.days.back().substr(5, 2));
  const int months = (lastYear - firstYear) * 12 + lastMonth - firstMonth + 1;
  if (months > kMonthCalendarMonths)
    return YearCalendar(html, ke, firstYear, lastYear);
  const bool dense = months > kFullCalendarMonths;
  html += dense ? "<div class=\"dense\">" : "<div>";
  size_t next = 0;  // the next day of ke.days to mark
  for (int k = 0; k < months; ++k) {
    const int year = firstYear + (firstMonth - 1 + k) / 12;
    const int month = (firstMonth - 1 + k) % 12 + 1;
    char numeric[16];
    std::snprintf(numeric, sizeof numeric, "%04d-%02d", year % 10000, month);
    html += "<table class=\"cal\"><tr><th>" + (dense ? numeric : Pl(kMonths[month - 1]) + " " + std::to_string(year)) +
            "</th>";
    for (int day = 1; day <= 31; ++day) {
      if (day > DaysIn(year, month)) {
        html += "<td class=\"x\"></td>";
        continue;
      }
      char date[16];
      std::snprintf(date, sizeof date, "%04d-%02d-%02d", year % 10000, month, day);
      bool has = false;
      while (next < ke.days.size() && ke.days[next] <= date)
        has = ke.days[next++] == date || has;
      html += has ? "<td class=\"f\">" : "<td>";
      html += std::to_string(day) + "</td>";
    }
    html += "</tr></table>";
  }
  html += Pl("</div><p class=\"legend\"><span style=\"background:#1f4e8c\"></span>dzie" ZV_n
             " z plikiem (pogrubiony numer)<span style=\"border:1px solid #bbb\"></span>dzie" ZV_n " bez pliku</p>");
}

void NameList(std::string &html, const char *title, const std::vector<std::string> &names) {
  if (names.empty()) {
    html += "<p class=\"line\"><b>" + Pl(title) + ":</b> <span class=\"none\">brak</span></p>";
    return;
  }
  html += "<h2>" + Pl(title) + Count(names.size(), kListedNames) + "</h2>";
  html += "<ul class=\"names\">";
  for (size_t k = 0; k < names.size() && k < kListedNames; ++k)
    html += "<li>" + Escape(names[k]) + "</li>";
  html += "</ul>";
}

void KePage(std::string &html, const KeAccount &ke, size_t index) {
  html += "<section class=\"page\"><h1>Kopia Elektroniczna " + Escape(ke.record ? ke.record->serial : ke.name) +
          "</h1><p class=\"sub\">" + std::to_string(index + 1) + ". " + Escape(plat::AbsolutePath(ke.directory)) +
          "</p>";
  const KeRecord none;
  const KeRecord &record = ke.record ? *ke.record : none;
  std::string device = record.port;
  if (!record.device.empty())
    device += (device.empty() ? "" : ", ") + record.device;
  html += "<table class=\"head\">";
  const auto row = [&](const char *label, const std::string &value) {
    html += "<tr><th>" + Pl(label) + "</th><td>" + value + "</td></tr>";
  };
  row("Numer seryjny KE", OrNoData(record.serial.empty() && !ke.record ? ke.name : record.serial));
  row("Numer unikatowy pami" ZV_e "ci fiskalnej", OrNoData(record.fiscalMemory));
  row("Port i urz" ZV_a "dzenie", OrNoData(device));
  row("Pierwszy raz widziana", OrNoData(record.firstSeen));
  row("Ostatnio widziana", OrNoData(record.lastSeen));
  row("Ostatnia archiwizacja (pocz" ZV_a "tek)", OrNoData(record.lastRun));
  row("Jej wynik (kod wyj" ZV_s "cia)", record.lastExitCode ? ExitMeaning(*record.lastExitCode) : OrNoData(""));
  row("Stan", StatusBadge(ke));
  const std::string numbers = ke.numbered.empty() ? OrNoData("")
                                                  : ArchiveNumberName(ke.numbered.front().first) + " &ndash; " +
                                                        ArchiveNumberName(ke.numbered.back().first);
  row("Pliki w archiwum", std::to_string(ke.found.files) + Pl(", numery ") + numbers);
  row("Okres", ke.days.empty() ? OrNoData("")
                               : ke.days.front() + " &ndash; " + ke.days.back() + ", dni z plikiem: " +
                                     std::to_string(ke.days.size()));
  row("Sumy kontrolne zgodne", std::to_string(ke.found.ok) +
                                   (ke.found.badLines > 0 ? Pl(", b" ZV_l ZV_e "dne wiersze: ") +
                                                                std::to_string(ke.found.badLines)
                                                          : std::string()));
  // The fingerprint, in groups of eight digits, to be noted down and
  // compared with a later report.
  std::string fingerprint;
  for (size_t k = 0; k < ke.sumsSha256.size(); k += 8)
    fingerprint += ke.sumsSha256.substr(k, 8) + (k + 8 < ke.sumsSha256.size() ? " " : "");
  row("Odcisk (SHA-256 pliku SHA256SUMS)", fingerprint.empty() ? Pl("<span class=\"none\">brak pliku SHA256SUMS</span>")
                                                               : "<span class=\"mono fp\">" + fingerprint + "</span>");
  html += "</table><h2>Kalendarz</h2>";
  Calendar(html, ke);

  html += "<h2>Luki w numeracji" + Count(ke.gaps.size(), kListedGaps) + "</h2>";
  if (ke.gaps.empty()) {
    html += Pl("<p class=\"none\">brak &ndash; numeracja ci" ZV_a "g" ZV_l "a</p>");
  } else {
    html += Pl("<table class=\"grid\"><tr><th>Brakuj" ZV_a "ce numery</th><th>Plik" ZV_o
               "w</th><th>Ostatnia data przed</th><th>Pierwsza data po</th></tr>");
    for (size_t k = 0; k < ke.gaps.size() && k < kListedGaps; ++k) {
      const auto [from, to] = ke.gaps[k];
      html += "<tr><td class=\"mono\">" + ArchiveNumberName(from) + (to > from ? " &ndash; " + ArchiveNumberName(to) : "") + "</td><td>" +
              std::to_string(to - from + 1) + "</td><td>" + OrNoData(ke.DateBefore(from)) + "</td><td>" +
              OrNoData(ke.DateAfter(to)) + "</td></tr>";
    }
    html += "</table>";
  }
  NameList(html, "Pliki zmienione od archiwizacji", ke.found.changed);
  NameList(html, "Pliki brakuj" ZV_a "ce (jest suma, nie ma pliku)", ke.found.missingFile);
  NameList(html, "Pliki bez sumy kontrolnej", ke.found.withoutLine);
  if (!ke.found.foreign.empty())
    NameList(html, "Obce pliki", ke.found.foreign);
  NameList(html, "Kwarantanna (katalog uszkodzone)", ke.quarantined);
  html += "</section>\n";
}

} // namespace

std::string AccountHtml(const ArchiveAccount &account) {
  std::string html = "<!DOCTYPE html>\n<html lang=\"pl\"><head><meta charset=\"utf-8\"><title>" +
                     Pl("Raport archiwum Kopii Elektronicznych") + "</title><style>" + kStyle +
                     "</style></head><body>\n";
  html += "<section class=\"page\"><h1>" + Pl("Raport archiwum Kopii Elektronicznych") + "</h1>";
  html += "<p class=\"sub\">Archiwum: " + Escape(account.target) + Pl("<br>Sporz" ZV_a "dzono: ") +
          Escape(account.generated) + "</p>";
  const bool whole = account.ExitNumber() == 0;
  html += whole ? Pl("<p class=\"st ok verdict\">&#10003; Archiwum jest kompletne i niezmienione</p>")
                : Pl("<p class=\"st bad verdict\">&#10007; W archiwum s" ZV_a " problemy</p>");
  if (!account.readable)
    html += Pl("<p>Nie mo" ZV_z "na odczyta" ZV_c " katalogu archiwum.</p>");
  if (account.readable && account.kes.empty())
    html += Pl("<p>Nie znaleziono katalog" ZV_o "w KE.</p>");
  if (!account.kes.empty()) {
    html += Pl("<table class=\"grid\"><tr><th>Str.</th><th>Kopia Elektroniczna</th><th>Pami" ZV_e
               ZV_c " fiskalna</th><th>Plik" ZV_o "w</th><th>Okres</th><th>Luki</th><th>Stan</th></tr>");
    for (size_t k = 0; k < account.kes.size(); ++k) {
      const KeAccount &ke = account.kes[k];
      html += "<tr><td>" + std::to_string(k + 2) + "</td><td class=\"mono\">" +
              Escape(ke.record ? ke.record->serial : ke.name) + "</td><td class=\"mono\">" +
              OrNoData(ke.record ? ke.record->fiscalMemory : std::string()) + "</td><td>" +
              std::to_string(ke.found.files) + "</td><td class=\"nw\">" +
              (ke.days.empty() ? OrNoData("") : ke.days.front() + " &ndash; " + ke.days.back()) + "</td><td>" +
              std::to_string(ke.gaps.size()) + "</td><td>" + StatusBadge(ke) + "</td></tr>";
    }
    html += "</table>";
  }
  if (!account.problems.empty()) {
    html += Pl("<h2>Problemy poza katalogami KE</h2><ul>");
    for (const std::string &problem : account.problems)
      html += "<li>" + Escape(problem) + "</li>";
    html += "</ul>";
  }
  html += Pl("<h2>Stany</h2><p><b>&#10003; kompletne</b> &ndash; pliki bez luk, zgodne z sumami kontrolnymi; "
             "<b>! luki</b> &ndash; brak plik" ZV_o "w w numeracji lub inne problemy; "
             "<b>&#10007; zmienione pliki</b> &ndash; plik r" ZV_o ZV_z "ni si" ZV_e
             " od zarchiwizowanego (lub jest uszkodzony).</p><p>Odcisk to SHA-256 pliku SHA256SUMS: warto go "
             "zanotowa" ZV_c " i por" ZV_o "wna" ZV_c " z nast" ZV_e "pnym raportem. D" ZV_l "ugie listy s" ZV_a
             " na stronach skr" ZV_o "cone; pe" ZV_l "ne s" ZV_a " w raport.json.</p>");
  html += "</section>\n";
  for (size_t k = 0; k < account.kes.size(); ++k)
    KePage(html, account.kes[k], k);
  html += "</body></html>\n";
  return html;
}
