[playlist]
File1=/music/a.mp3
File2=sub\\b.mp3
file3=c.ogg
NumberOfEntries=3
