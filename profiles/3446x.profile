# The 3446x/3447x and 34410A class on a raw socket (port 5025): no remote mode, LF ends a line.
# Copy a file like this one to ~/.config/velmora/profiles/ and change what your meter needs;
# a file with this model takes this profile's place.
model = 3446x/3447x class
terminator = LF
remote mode =
remote pause ms = 0
local mode =
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
