@echo off
rem Runs the Vantorel tests of this kit, one program after another, and writes report.txt
rem beside this file. Double-click it: the window stays open at the end until a key is pressed.
setlocal EnableExtensions EnableDelayedExpansion
set "KIT=%~dp0"
rem How cmd was started: kit-report waits for a key only when this was double-clicked.
set "KIT_CMDLINE=!CMDCMDLINE!"
if not exist "%KIT%bin\kit-report.exe" (
    echo This folder holds only part of the kit: bin\kit-report.exe is missing.
    echo Unpack the whole zip first ^(right-click it, "Extract All..."^), then double-click
    echo run-tests.cmd in the unpacked folder.
    pause
    exit /b 2
)
set "PROGRAMS=core_tests tool_tests tray_tests options_tests about_tests leak_tests fault_tests"
"%KIT%bin\kit-report.exe" start
for %%p in (%PROGRAMS%) do "%KIT%bin\kit-report.exe" run %%p
"%KIT%bin\kit-report.exe" report %PROGRAMS%
exit /b !ERRORLEVEL!
