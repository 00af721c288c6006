; The Windows installer: batchext.exe and batchext-cli.exe under Program
; Files (or the folder of an earlier installation), a Start-menu entry, a
; right-click entry for folders, and an uninstaller registered with the
; system. scripts/package-windows passes VERSION, VERSION_MAJOR,
; VERSION_MINOR, HOME_PAGE_URL, WINDOW_EXE, CLI_EXE, ICON and OUTFILE.
;
; Neither installing nor uninstalling goes on while a program of the folder
; runs: Windows would keep its file, and the uninstaller would leave it
; behind unregistered. /CLOSEAPPS ends such programs without asking, which
; a silent run otherwise never does.

Unicode true
; The default 32-bit stub does not run under wine64.
Target amd64-unicode
SetCompressor /SOLID lzma

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"

!define APP_NAME "直接批量修改文件的后缀名"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\batchext"
!define FOLDER_MENU_KEY "Software\Classes\Directory\shell\batchext"
!define BACKGROUND_MENU_KEY "Software\Classes\Directory\Background\shell\batchext"
!define MENU_TEXT "批量修改文件的后缀名..."

Name "${APP_NAME}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\batchext"
; A later run, an upgrade, goes where the first one went.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductName" "${APP_NAME}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "CompanyName" "Norvane工作室"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileDescription" "${APP_NAME} ${VERSION} 安装程序"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "LegalCopyright" "© Norvane工作室"

; Both the installer and the uninstaller need these, under their own names.
!macro RUNNING_PROGRAM_FUNCTIONS un
; Sets $R9 to the path of a batchext program of folder $R8 that runs, or to
; "". Programs of the same name elsewhere do not count.
Function ${un}FindRunningProgram
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  StrCpy $R9 ""
  ; 2: TH32CS_SNAPPROCESS.
  System::Call 'kernel32::CreateToolhelp32Snapshot(i 2, i 0) p.r0'
  ${If} $0 P<> -1
    ; PROCESSENTRY32W on x64: 568 bytes, the process id at byte 8, the
    ; file name at byte 44.
    System::Alloc 568
    Pop $1
    System::Call '*$1(i 568)'
    System::Call 'kernel32::Process32FirstW(p r0, p r1) i.r2'
    ${DoWhile} $2 <> 0
      System::Call '*$1(i, i, i .r3, i, i, i, i, i, i, i, i, &w260 .r4)'
      ${If} $4 == "batchext.exe"
      ${OrIf} $4 == "batchext-cli.exe"
        ; 0x1000: PROCESS_QUERY_LIMITED_INFORMATION.
        System::Call 'kernel32::OpenProcess(i 0x1000, i 0, i r3) p.r5'
        ${If} $5 P<> 0
          System::Call 'kernel32::QueryFullProcessImageNameW(p r5, i 0, w .r2, *i ${NSIS_MAX_STRLEN}) i.r3'
          System::Call 'kernel32::CloseHandle(p r5)'
          ${If} $3 <> 0
          ${AndIf} $2 == "$R8\$4"
            StrCpy $R9 $2
            ${Break}
          ${EndIf}
        ${EndIf}
      ${EndIf}
      System::Call 'kernel32::Process32NextW(p r0, p r1) i.r2'
    ${Loop}
    System::Free $1
    System::Call 'kernel32::CloseHandle(p r0)'
  ${EndIf}
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; Ends every process whose image is $R9. A run it stops keeps the copies it
; completed: no copy stands under its final name before it is whole.
Function ${un}EndProgram
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  System::Alloc 568
  Pop $1
  System::Call '*$1(i 568)'
  System::Call 'kernel32::CreateToolhelp32Snapshot(i 2, i 0) p.r0'
  System::Call 'kernel32::Process32FirstW(p r0, p r1) i.r2'
  ${DoWhile} $2 <> 0
    System::Call '*$1(i, i, i .r3)'
    ; 0x101001: SYNCHRONIZE, PROCESS_QUERY_LIMITED_INFORMATION, PROCESS_TERMINATE.
    System::Call 'kernel32::OpenProcess(i 0x101001, i 0, i r3) p.r4'
    ${If} $4 P<> 0
      System::Call 'kernel32::QueryFullProcessImageNameW(p r4, i 0, w .r2, *i ${NSIS_MAX_STRLEN}) i.r3'
      ${If} $3 <> 0
      ${AndIf} $2 == $R9
        System::Call 'kernel32::TerminateProcess(p r4, i 1)'
        System::Call 'kernel32::WaitForSingleObject(p r4, i 5000)'
      ${EndIf}
      System::Call 'kernel32::CloseHandle(p r4)'
    ${EndIf}
    System::Call 'kernel32::Process32NextW(p r0, p r1) i.r2'
  ${Loop}
  System::Call 'kernel32::CloseHandle(p r0)'
  System::Free $1
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; Returns only once no program of folder $R8 runs; $R7 names the task
; ("安装" or "卸载"). Otherwise asks, and on "no" (the silent answer unless
; /CLOSEAPPS was given) quits with status 2. The question reads the same
; whatever language the system gives the buttons.
Function ${un}EnsureNotRunning
  Push $0
  Push $1
  StrCpy $1 0
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/CLOSEAPPS" $0
  ${IfNot} ${Errors}
    StrCpy $1 1
  ${EndIf}
  StrCpy $0 0
  ${Do}
    Call ${un}FindRunningProgram
    ${If} $R9 == ""
      ${Break}
    ${EndIf}
    ${If} $0 >= 3
      MessageBox MB_OK|MB_ICONSTOP "无法结束正在运行的$\n$R9$\n请关闭它后重新运行$R7程序。" /SD IDOK
      SetErrorLevel 2
      Quit
    ${EndIf}
    ${If} $1 <> 1
      MessageBox MB_YESNO|MB_ICONEXCLAMATION|MB_DEFBUTTON2 \
        "${APP_NAME}正在运行：$\n$R9$\n$\n它运行时无法$R7。要结束它并继续$R7吗？$\n（正在进行的修改会停止，已完成的复制会保留。不结束它则退出$R7，请关闭它后重新运行$R7程序。）" \
        /SD IDNO IDYES end_it
      SetErrorLevel 2
      Quit
    ${EndIf}
    end_it:
    Call ${un}EndProgram
    IntOp $0 $0 + 1
  ${Loop}
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro RUNNING_PROGRAM_FUNCTIONS ""
!insertmacro RUNNING_PROGRAM_FUNCTIONS "un."

Function .onInit
  SetShellVarContext all
  SetRegView 64
FunctionEnd

Function un.onInit
  SetShellVarContext all
  SetRegView 64
  StrCpy $R8 $INSTDIR
  StrCpy $R7 "卸载"
  Call un.EnsureNotRunning
FunctionEnd

Section
  ; Both folders are checked before either changes, so that a refusal
  ; leaves the old installation whole.
  StrCpy $R7 "安装"
  StrCpy $R8 $INSTDIR
  Call EnsureNotRunning
  ; Installed elsewhere before: that copy goes, so that one stays registered.
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIf} $0 != $INSTDIR
  ${AndIf} ${FileExists} "$0\uninstall.exe"
    StrCpy $R8 $0
    Call EnsureNotRunning
    ; _?= runs it in place, so that ExecWait waits for it.
    ExecWait '"$0\uninstall.exe" /S _?=$0'
    Delete "$0\uninstall.exe"
    RMDir "$0"
  ${EndIf}

  SetOutPath "$INSTDIR"
  File "/oname=batchext.exe" "${WINDOW_EXE}"
  File "/oname=batchext-cli.exe" "${CLI_EXE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${APP_NAME}.lnk" "$INSTDIR\batchext.exe"

  WriteRegStr HKLM "${FOLDER_MENU_KEY}" "" "${MENU_TEXT}"
  WriteRegStr HKLM "${FOLDER_MENU_KEY}" "Icon" "$INSTDIR\batchext.exe"
  WriteRegStr HKLM "${FOLDER_MENU_KEY}\command" "" '"$INSTDIR\batchext.exe" "%1"'
  WriteRegStr HKLM "${BACKGROUND_MENU_KEY}" "" "${MENU_TEXT}"
  WriteRegStr HKLM "${BACKGROUND_MENU_KEY}" "Icon" "$INSTDIR\batchext.exe"
  WriteRegStr HKLM "${BACKGROUND_MENU_KEY}\command" "" '"$INSTDIR\batchext.exe" "%V"'

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${APP_NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "VersionMajor" ${VERSION_MAJOR}
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "VersionMinor" ${VERSION_MINOR}
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Norvane工作室"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "URLInfoAbout" "${HOME_PAGE_URL}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\batchext.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ; In KiB, as "Apps and features" reads it.
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
  DeleteRegKey HKLM "${FOLDER_MENU_KEY}"
  DeleteRegKey HKLM "${BACKGROUND_MENU_KEY}"
  Delete "$SMPROGRAMS\${APP_NAME}.lnk"
  Delete "$INSTDIR\batchext.exe"
  Delete "$INSTDIR\batchext-cli.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
