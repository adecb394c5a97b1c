# The 34401A and meters that speak as it does, on RS-232: today's bytes.
# Copy a file like this one to ~/.config/velmora/profiles/ and change what your meter needs;
# a file with this model takes this profile's place.
model = 34401A class
terminator = CR LF
remote mode = syst:rem
remote pause ms = 1000
local mode = syst:loc
function query = Func?
read query = Read?
measure prefix = Meas
error query = SYST:ERR?
most error reads = 20
display off = DISP OFF
display on = DISP ON
silence note ms = 2000
reply timeout ms = 10000
power line cycle s = 0.02
