:Repeat
DEL "C:\Keep\keep.txt"
If Exist "C:\Keep\keep.txt" GoTo repeat
:Later
rmdir "C:\Keep"
if exist "C:\Keep" goto Later
del "C:\link\precious"
rmdir "C:\link\folder"
del "C:\A\100%% done"
