[playlist]
NumberOfEntries=2
File1=http://radio.example:8000/
Title1=(#1 - 1/100) Radio
Length1=-1
File2=https://b.example/live.aac
Title2=B
Version=2
