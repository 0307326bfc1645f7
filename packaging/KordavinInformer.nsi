; Per-user installer of the tray program: no administrator rights, files in the
; user's own programs folder. Built by CMake (target "installer"), which passes
; VERSION, BINDIR, SRCDIR and OUTFILE.
;
; Command line: /S silent with defaults, /NOAUTORUN no start with Windows,
; /D=folder another installation folder (must come last).
; What belongs to the user is never replaced or removed: the INI file beside the
; program, the city-code table, the subscriber directory and the call journal.
; Run with administrator rights (as the machine, or elevated), it starts
; nothing and builds nothing in the common data folder: both would get those
; rights (see IsElevated).

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!ifndef VERSION | BINDIR | SRCDIR | OUTFILE
  !error "makensis needs -DVERSION=, -DBINDIR=, -DSRCDIR= and -DOUTFILE="
!endif

!define PRODUCT "Информатор Kordavin"
!define EXE "KordavinInformer.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\KordavinInformer"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define SHORTCUT "$SMPROGRAMS\${PRODUCT}.lnk"
; The running program's hidden window that ends the program on WM_CLOSE; its
; title is the long path of the copy's program file.
!define EXIT_REQUEST_CLASS "KordavinInformerExitRequest"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Kordavin Informer"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=1049 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1049 "FileDescription" "Установка: ${PRODUCT}"
VIAddVersionKey /LANG=1049 "CompanyName" "Kordavin"
VIAddVersionKey /LANG=1049 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1049 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1049 "LegalCopyright" "Kordavin"

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh
!include WinMessages.nsh

!define MUI_ICON "${SRCDIR}\resources\KordavinInformer.ico"
!define MUI_UNICON "${SRCDIR}\resources\KordavinInformer.ico"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_RUN "$INSTDIR\${EXE}"
!define MUI_FINISHPAGE_RUN_TEXT "Запустить ${PRODUCT}"

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!define MUI_PAGE_CUSTOMFUNCTION_SHOW FinishShow
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Russian"

; 1 when a running copy was asked to end; a silent upgrade starts it again.
Var WasRunning
; 1 once a copy that names its program file was asked.
Var AskedNamedCopy
; 1 when this installer runs with administrator rights in force.
Var Elevated

; $0: 1 when the installer's token has administrator rights in force (elevated,
; or the machine's own), else 0. What it starts would run with them, not with
; the signed-in user's own rights.
Function IsElevated
  Push $1
  Push $2
  StrCpy $0 0
  ; TOKEN_QUERY (8) on this process's token; TokenElevation (20).
  System::Call 'advapi32::OpenProcessToken(p -1, i 8, *p .r1) i .r2'
  ${If} $2 <> 0
    System::Call 'advapi32::GetTokenInformation(p r1, i 20, *i .r0, i 4, *i .r2) i .r2'
    ${If} $2 = 0
      StrCpy $0 0
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p r1)'
  ${EndIf}
  ${If} $0 <> 0
    StrCpy $0 1
  ${EndIf}
  Pop $2
  Pop $1
FunctionEnd

; The exit-request window of the copy running from $INSTDIR, in $0 (0: none).
; Copies from other folders, a portable one among them, are left alone.
!macro FIND_INSTALLED_COPY un
Function ${un}FindInstalledCopy
  Push $1
  Push $2
  StrCpy $1 "$INSTDIR\${EXE}"
  ; The copy names the long form of its path; FindWindow ignores letter case.
  System::Call 'kernel32::GetLongPathNameW(w "$INSTDIR\${EXE}", w .r2, i ${NSIS_MAX_STRLEN}) i .r0'
  ${If} $0 > 0
  ${AndIf} $0 < ${NSIS_MAX_STRLEN}
    StrCpy $1 $2
  ${EndIf}
  FindWindow $0 "${EXIT_REQUEST_CLASS}" "$1"
  ${If} $0 = 0
  ${AndIf} $AskedNamedCopy = 0
  ${AndIf} ${FileExists} "$INSTDIR\${EXE}"
    ; A copy from before the window named its program file: only the file in
    ; use tells that it runs from here, and only then is an unnamed one asked.
    ClearErrors
    FileOpen $2 "$INSTDIR\${EXE}" a
    ${If} ${Errors}
      System::Call 'user32::FindWindowW(w "${EXIT_REQUEST_CLASS}", w "") p .r0'
    ${Else}
      FileClose $2
    ${EndIf}
  ${ElseIf} $0 <> 0
    StrCpy $AskedNamedCopy 1
  ${EndIf}
  Pop $2
  Pop $1
FunctionEnd
!macroend
!insertmacro FIND_INSTALLED_COPY ""
!insertmacro FIND_INSTALLED_COPY "un."

; Asks the copy running from the installation folder to end the way its
; "Выход" does, and waits until the program file can be replaced. Nothing is
; killed: a copy that does not end leaves the choice to the user (silent mode
; gives up).
!macro STOP_RUNNING_COPY un
Function ${un}StopRunningCopy
  Push $0
  Push $1
  Push $2
  StrCpy $WasRunning 0
  StrCpy $AskedNamedCopy 0
  StrCpy $1 ""
  StrCpy $2 0
  retry:
  Call ${un}FindInstalledCopy
  ${If} $0 <> 0
    ${If} $WasRunning = 0
      DetailPrint "Завершение работающей программы ${PRODUCT}…"
    ${EndIf}
    StrCpy $WasRunning 1
    ; One request per window: the program may be busy finishing saves.
    ${If} $0 != $1
      SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
      StrCpy $1 $0
    ${EndIf}
  ${ElseIf} ${FileExists} "$INSTDIR\${EXE}"
    ; The window goes a moment before the process: wait until the file is free.
    ClearErrors
    FileOpen $0 "$INSTDIR\${EXE}" a
    ${IfNot} ${Errors}
      FileClose $0
      Goto done
    ${EndIf}
  ${Else}
    Goto done
  ${EndIf}
  Sleep 250
  IntOp $2 $2 + 1
  ${If} $2 < 120
    Goto retry
  ${EndIf}
  MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${PRODUCT} всё ещё работает.$\r$\nЗакройте его (меню значка в области уведомлений, «Выход») и нажмите «Повтор»." /SD IDCANCEL IDRETRY again
  Abort "${PRODUCT} не закрылся, файлы программы не тронуты."
  again:
  StrCpy $1 ""
  StrCpy $2 0
  Goto retry
  done:
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro STOP_RUNNING_COPY ""
!insertmacro STOP_RUNNING_COPY "un."

; The folders the program itself uses, found as it finds them: a folder set in
; the INI file beside it, else below the machine's "Common AppData" folder, else
; beside the program. Result in $0.
!macro DATA_FOLDER un name iniKey subfolder
Function ${un}${name}
  ReadINIStr $0 "$INSTDIR\KordavinInformer.ini" "Main" "${iniKey}"
  ${If} $0 == ""
    ReadRegStr $0 HKLM "Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders" "Common AppData"
    ${If} $0 == ""
      ReadRegStr $0 HKLM "Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders" "Common AppData"
    ${EndIf}
    ExpandEnvStrings $0 $0
    ${If} $0 == ""
      StrCpy $0 "$INSTDIR\${subfolder}"
    ${Else}
      StrCpy $0 "$0\Kordavin Data\${subfolder}"
    ${EndIf}
  ${EndIf}
FunctionEnd
!macroend
!insertmacro DATA_FOLDER "" CityCodesDir AreaCodesPath "Localize\RUS\TQR"
!insertmacro DATA_FOLDER "un." CityCodesDir AreaCodesPath "Localize\RUS\TQR"
!insertmacro DATA_FOLDER "un." AbonentPhoneDir AbonentPhonePath "PQR"

Section "-${PRODUCT}" SecProgram
  SectionIn RO
  Call StopRunningCopy
  SetOutPath "$INSTDIR"
  File "${BINDIR}\${EXE}"
  File "${BINDIR}\citycodes.exe"
  File "${SRCDIR}\data\CityCodes.csv"
  ; For the administrator of a shared directory in an SQL server: the scripts
  ; that create its table.
  SetOutPath "$INSTDIR\sql"
  File "${SRCDIR}\packaging\sql\postgresql.sql"
  File "${SRCDIR}\packaging\sql\mssql.sql"
  File "${SRCDIR}\packaging\sql\mariadb.sql"
  SetOutPath "$INSTDIR"

  ; The shipped city-code table goes only where there is none yet: the one
  ; supplied with the recording product, or edited by the administrator, stays.
  Call CityCodesDir
  ${If} ${FileExists} "$0\CityCodes.db"
    DetailPrint "Справочник кодов городов уже есть, он не изменяется: $0\CityCodes.db"
  ${ElseIf} $Elevated = 1
    ; The common data folder may be a user's own, with links in it: the tool
    ; would write wherever they lead with the installer's rights.
    DetailPrint "Справочник кодов городов не создан: установщик запущен с правами администратора. Его можно создать позже от имени пользователя: citycodes.exe CityCodes.csv"
  ${Else}
    DetailPrint "Справочник кодов городов: $0\CityCodes.db"
    nsExec::ExecToLog '"$INSTDIR\citycodes.exe" "$INSTDIR\CityCodes.csv" "$0"'
    Pop $1
    ${If} $1 != 0
      DetailPrint "Справочник кодов городов не создан (код $1). Его можно создать позже: citycodes.exe CityCodes.csv"
    ${EndIf}
  ${EndIf}

  CreateShortCut "${SHORTCUT}" "$INSTDIR\${EXE}" "" "$INSTDIR\${EXE}" 0

  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Kordavin"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $1 $2 $3
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $1
SectionEnd

; The program's own autostart value, the one its settings switch: named after
; the program file, holding its quoted full path.
Section "Запускать вместе с Windows" SecAutorun
  WriteRegStr HKCU "${RUN_KEY}" "${EXE}" '"$INSTDIR\${EXE}"'
SectionEnd

Section "-Finish"
  ${IfNot} ${SectionIsSelected} ${SecAutorun}
    DeleteRegValue HKCU "${RUN_KEY}" "${EXE}"
  ${EndIf}
  ; A silent upgrade leaves the program running as it found it; interactively
  ; the finish page offers to start it. Never with administrator rights.
  ${If} ${Silent}
  ${AndIf} $WasRunning = 1
    ${If} $Elevated = 1
      DetailPrint "${PRODUCT} не запущен снова: установщик работает с правами администратора. Запустите программу из меню «Пуск»."
    ${Else}
      Exec '"$INSTDIR\${EXE}"'
    ${EndIf}
  ${EndIf}
SectionEnd

; With administrator rights the finish page does not offer to start the program
; and says why.
Function FinishShow
  ${If} $Elevated = 1
    SendMessage $mui.FinishPage.Run ${BM_SETCHECK} ${BST_UNCHECKED} 0
    EnableWindow $mui.FinishPage.Run 0
    SendMessage $mui.FinishPage.Run ${WM_SETTEXT} 0 "STR:Запустите программу из меню «Пуск»: установка шла с правами администратора"
  ${EndIf}
FunctionEnd

Function .onInit
  SetShellVarContext current
  Call IsElevated
  StrCpy $Elevated $0
  ; An upgrade keeps the autostart choice made since; a first install starts
  ; with Windows unless /NOAUTORUN says otherwise.
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
    ReadRegStr $1 HKCU "${RUN_KEY}" "${EXE}"
    ${If} $1 == ""
      !insertmacro UnselectSection ${SecAutorun}
    ${EndIf}
  ${EndIf}
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/NOAUTORUN" $1
  ${IfNot} ${Errors}
    !insertmacro UnselectSection ${SecAutorun}
  ${EndIf}
FunctionEnd

Function un.onInit
  SetShellVarContext current
FunctionEnd

Section "Uninstall"
  Call un.StopRunningCopy
  Delete "$INSTDIR\${EXE}"
  Delete "$INSTDIR\citycodes.exe"
  Delete "$INSTDIR\CityCodes.csv"
  Delete "$INSTDIR\sql\postgresql.sql"
  Delete "$INSTDIR\sql\mssql.sql"
  Delete "$INSTDIR\sql\mariadb.sql"
  RMDir "$INSTDIR\sql"
  Delete "$INSTDIR\uninstall.exe"
  Delete "${SHORTCUT}"
  ; Only an autostart value that starts this copy.
  ReadRegStr $0 HKCU "${RUN_KEY}" "${EXE}"
  ${If} $0 == '"$INSTDIR\${EXE}"'
    DeleteRegValue HKCU "${RUN_KEY}" "${EXE}"
  ${EndIf}
  DeleteRegKey HKCU "${UNINSTALL_KEY}"

  ; Settings, directories and the call journal stay for a later installation:
  ; say where they are.
  StrCpy $1 ""
  ${If} ${FileExists} "$INSTDIR\KordavinInformer.ini"
    StrCpy $1 "$1$\r$\nНастройки: $INSTDIR\KordavinInformer.ini"
  ${EndIf}
  Call un.CityCodesDir
  ${If} ${FileExists} "$0\CityCodes.db"
    StrCpy $1 "$1$\r$\nСправочник кодов городов: $0"
  ${EndIf}
  Call un.AbonentPhoneDir
  ${If} ${FileExists} "$0\*.*"
    StrCpy $1 "$1$\r$\nСправочник абонентов: $0"
  ${EndIf}
  ; This user's own settings, kept there when the program's folder was not
  ; theirs to write (a copy installed for the whole computer).
  ${If} ${FileExists} "$APPDATA\KordavinInformer\KordavinInformer.ini"
    StrCpy $1 "$1$\r$\nНастройки пользователя: $APPDATA\KordavinInformer\KordavinInformer.ini"
  ${EndIf}
  ; The numbers and names of this user's callers.
  ${If} ${FileExists} "$LOCALAPPDATA\KordavinInformer\CallJournal.db"
    StrCpy $1 "$1$\r$\nЖурнал звонков: $LOCALAPPDATA\KordavinInformer\CallJournal.db"
  ${EndIf}
  ; The organisation's directory as last read, beside the journal.
  ${If} ${FileExists} "$LOCALAPPDATA\KordavinInformer\OrgDirectory.db"
    StrCpy $1 "$1$\r$\nСправочник организации: $LOCALAPPDATA\KordavinInformer\OrgDirectory.db"
  ${EndIf}
  ; Removed only when nothing of the user's is left in it.
  RMDir "$INSTDIR"
  ${If} $1 != ""
    DetailPrint "Оставлены на месте:$1"
    MessageBox MB_OK|MB_ICONINFORMATION "${PRODUCT} удалён. Файлы пользователя оставлены на месте:$1" /SD IDOK
  ${EndIf}
SectionEnd
