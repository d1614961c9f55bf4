@echo off
rem Runs every check of this kit and writes report.txt beside this file (see README.txt).
rem   run-checks.cmd [LAYER[:FILTER]]   one layer only, e.g. e2e_tests:Ironvale.* or faults:link-ok
setlocal
set "kit_self=%~f0"
"%~dp0checks\run_checks.exe" %*
set "kit_code=%errorlevel%"
rem Double-clicked, the window closes at the end: Explorer starts cmd.exe /c ""<this file>" ",
rem so the command line names this file, which a console's does not. Then it waits for a key.
rem (Wine's cmd.exe has no command line to tell.)
setlocal EnableDelayedExpansion
set "kit_line=!cmdcmdline!"
if defined kit_line if /i not "!kit_line:%kit_self%=!"=="!kit_line!" pause
endlocal
exit /b %kit_code%
