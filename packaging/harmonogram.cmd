@echo off
rem Nocna archiwizacja Kopii Elektronicznej - przyklad do zmiany.
rem Harmonogram zadan uruchamia ten plik co noc (zadanie z pliku
rem harmonogram.xml, polecenie schtasks jest w pliku CZYTAJ.txt, punkt 5).
rem Zmien wiersze "set" ponizej.

rem Katalog archiwum: jeden podkatalog na kazda KE.
set CEL=D:\ARCHIWUM

rem Dalsze parametry jak w wierszu polecenia; puste: moduly KE i urzadzenia
rem dwuportowe na wszystkich portach. KE czytana przez drukarke: DR z portem
rem drukarki, np. DR COM5 (port pokazuje zarvik.exe LIST, CZYTAJ.txt punkt 1).
rem Nigdy samo DR: wysyla polecenia drukarki do kazdego urzadzenia na
rem portach szeregowych (skanery, wagi, wyswietlacze klienta).
set OPCJE=

rem Godziny, w ktorych wolno rozmawiac z drukarkami: przebieg uruchomiony
rem poza nimi (np. nadrobiony rano po wlaczeniu komputera) pomija drukarki
rem (DR), a moduly KE archiwizuje o kazdej porze.
set ZARVIK_DR_WINDOW=20:00-06:00

rem Wyniki dla systemu monitorowania sieci sklepow: podsumowanie (JSON)
rem i metryki (Prometheus). Usun wiersz, jesli plik jest niepotrzebny.
rem Dla windows_exporter metryki moga trafiac do jego katalogu, np.
rem   set ZARVIK_METRICS=C:\Program Files\windows_exporter\textfile_inputs\zarvik.prom
set ZARVIK_SUMMARY=%CEL%\zarvik-podsumowanie.json
set ZARVIK_METRICS=%CEL%\zarvik.prom

rem Program dla systemu: zarvik32.exe na Windows 32-bitowym, zarvik.exe na
rem 64-bitowym. Na 64-bitowym Windows 32-bitowy cmd widzi x86, a prawdziwa
rem architekture ma w PROCESSOR_ARCHITEW6432. Gdy w katalogu jest tylko
rem zarvik32.exe, uruchamia sie ten (dziala na kazdym Windows).
cd /d "%~dp0"
set ZARVIK_EXE=zarvik.exe
if /i "%PROCESSOR_ARCHITECTURE%"=="x86" if not defined PROCESSOR_ARCHITEW6432 set ZARVIK_EXE=zarvik32.exe
if not exist "%ZARVIK_EXE%" set ZARVIK_EXE=zarvik32.exe

rem Podsumowanie kazdego przebiegu dopisuje sie do harmonogram_log.txt
rem w katalogu archiwum, kazdy wiersz z data i godzina uruchomienia. Gdy
rem katalogu archiwum nie da sie utworzyc (np. komputer nie ma dysku D:),
rem wiersze trafiaja do %ProgramData%\Zarvik\harmonogram_log.txt.
set START=%DATE% %TIME:~0,8%
set LOG=%CEL%\harmonogram_log.txt
if not exist "%CEL%" mkdir "%CEL%"
if not exist "%CEL%\" set LOG=%ProgramData%\Zarvik\harmonogram_log.txt
if not exist "%ProgramData%\Zarvik\" if not exist "%CEL%\" mkdir "%ProgramData%\Zarvik"
set WYNIK=%TEMP%\zarvik_harmonogram_%RANDOM%.txt
"%ZARVIK_EXE%" "%CEL%" %OPCJE% > "%WYNIK%" 2>&1
set KOD=%ERRORLEVEL%
for /f "usebackq delims=" %%L in ("%WYNIK%") do >> "%LOG%" echo %START% %%L
>> "%LOG%" echo %START% kod zakonczenia %KOD%
del "%WYNIK%"
exit /b %KOD%
