; The Windows installer: the program under Program Files, a Start-menu entry, and the
; record folder under ProgramData that every user of the machine may write.
; Configured by CMake (packaging/windows/windows.cmake), then, from the build folder:
; makensis -INPUTCHARSET UTF8 -DSTAGE=<folder with contadopo.exe> -DICON=<.ico> -DOUTFILE=<setup.exe> contadopo.nsi

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true

!include "MUI2.nsh"
!include "LogicLib.nsh"

!define PRODUCT "Contadopo"
!define VERSION "@CONTADOPO_VERSION@"
!define PUBLISHER "@CONTADOPO_PUBLISHER@"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define RECORD_DIR "$APPDATA\${PRODUCT}"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "Software\${PRODUCT}" "InstallDir"
RequestExecutionLevel admin
VIProductVersion "@CONTADOPO_VERSION_WIN@"
VIFileVersion "@CONTADOPO_VERSION_WIN@"
VIAddVersionKey /LANG=1040 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1040 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1040 "FileDescription" "Installazione di ${PRODUCT}"
VIAddVersionKey /LANG=1040 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1040 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1040 "LegalCopyright" "@CONTADOPO_COPYRIGHT@"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_COMPONENTSPAGE_NODESC
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Italian"

; An empty record file, unless the record is already there.
!macro RecordFile NAME
    IfFileExists "${RECORD_DIR}\${NAME}" +3
    FileOpen $0 "${RECORD_DIR}\${NAME}" w
    FileClose $0
!macroend

; Lets the Users group read and write TARGET. A grant that fails is said in the details,
; in a box (not in a silent install), in installazione.log beside the program and in the
; exit status, 3, which a silent deployment sees.
!macro GrantUsers TARGET RIGHTS
    nsExec::ExecToLog '"$SYSDIR\icacls.exe" "${TARGET}" /grant *S-1-5-32-545:${RIGHTS} /Q'
    Pop $0
    ${If} $0 != 0
        DetailPrint "icacls ${TARGET}: $0"
        FileOpen $1 "$INSTDIR\installazione.log" a
        FileSeek $1 0 END
        FileWrite $1 'icacls "${TARGET}" /grant *S-1-5-32-545:${RIGHTS}: $0$\r$\n'
        FileClose $1
        MessageBox MB_OK|MB_ICONEXCLAMATION "Non sono riuscito a dare a tutti gli utenti il permesso di scrivere il record in ${RECORD_DIR} (icacls: $0).$\r$\nSolo chi ha creato i file potrà salvare il record: concedi al gruppo Users lettura e scrittura su quella cartella." /SD IDOK
        SetErrorLevel 3
    ${EndIf}
!macroend

Function .onInit
    SetShellVarContext all
FunctionEnd

Function un.onInit
    SetShellVarContext all
FunctionEnd

Section "${PRODUCT}" SecProgram
    SectionIn RO
    SetOutPath "$INSTDIR"
    File "${STAGE}/contadopo.exe"
    File "${STAGE}/qt.conf"
    File "${STAGE}/qtbase_it.qm"
    SetOutPath "$INSTDIR\suoni"
    File "${STAGE}/suoni/*.wav"
    SetOutPath "$INSTDIR"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\contadopo.exe" "" "$INSTDIR\contadopo.exe" 0

    ; One record for the whole class: the Users group may write the files, whoever
    ; made them. Windows would otherwise give each child who writes a copy of his own.
    CreateDirectory "${RECORD_DIR}"
    !insertmacro GrantUsers "${RECORD_DIR}" "(OI)(CI)(RX,W)"
    !insertmacro RecordFile "suc000.txt"
    !insertmacro RecordFile "nsuc000.txt"
    !insertmacro RecordFile "suc000.jnl"
    !insertmacro GrantUsers "${RECORD_DIR}\*" "(RX,W)"

    WriteRegStr HKLM "Software\${PRODUCT}" "InstallDir" "$INSTDIR"
    WriteUninstaller "$INSTDIR\disinstalla.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    SectionGetSize ${SecProgram} $0
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\contadopo.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\disinstalla.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\disinstalla.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "un.${PRODUCT}"
    SectionIn RO
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    Delete "$INSTDIR\contadopo.exe"
    Delete "$INSTDIR\qt.conf"
    Delete "$INSTDIR\qtbase_it.qm"
    Delete "$INSTDIR\suoni\*.wav"
    RMDir "$INSTDIR\suoni"
    Delete "$INSTDIR\disinstalla.exe"
    Delete "$INSTDIR\installazione.log"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    DeleteRegKey HKLM "Software\${PRODUCT}"
SectionEnd

; Off unless ticked: the record outlives the program by default.
Section /o "un.Cancella anche il record (punteggio e nome)"
    Delete "${RECORD_DIR}\suc000.txt"
    Delete "${RECORD_DIR}\nsuc000.txt"
    Delete "${RECORD_DIR}\suc000.jnl"
    RMDir "${RECORD_DIR}"
SectionEnd
