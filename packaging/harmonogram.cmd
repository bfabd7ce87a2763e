@echo off
rem Nocna archiwizacja Kopii Elektronicznej - przyklad do zmiany.
rem Harmonogram zadan uruchamia ten plik co noc (polecenie schtasks
rem jest w pliku CZYTAJ.txt, punkt 5). Zmien wiersze "set" ponizej.

rem Katalog archiwum: jeden podkatalog na kazda KE.
set CEL=D:\ARCHIWUM

rem Dalsze parametry jak w wierszu polecenia, np. DR albo COM3 COM10
rem albo DR COM1; puste: wszystkie porty.
set OPCJE=

rem Wyniki dla systemu monitorowania sieci sklepow: podsumowanie (JSON)
rem i metryki (Prometheus). Usun wiersz, jesli plik jest niepotrzebny.
rem Dla windows_exporter metryki moga trafiac do jego katalogu, np.
rem   set ZARVIK_METRICS=C:\Program Files\windows_exporter\textfile_inputs\zarvik.prom
set ZARVIK_SUMMARY=%CEL%\zarvik-podsumowanie.json
set ZARVIK_METRICS=%CEL%\zarvik.prom

cd /d "%~dp0"
if not exist "%CEL%" mkdir "%CEL%"
rem Podsumowanie kazdego przebiegu dopisuje sie do harmonogram_log.txt.
zarvik.exe "%CEL%" %OPCJE% >> "%CEL%\harmonogram_log.txt" 2>&1
exit /b %ERRORLEVEL%
