del "C:\A\one.txt"
:Repeat
del "C:\A\QWUninstall.exe"
if exist "C:\A\QWUninstall.exe" goto Repeat
del "C:\A\B\two.txt"
rmdir "C:\A\B"
rmdir "C:\A"
rmdir "C:\E"
del "C:\QWRemover.bat"
