# The 34401A on GPIB, through a "++" adapter: the bus gives remote mode, LF (with EOI) ends a line.
# Copy a file like this one to ~/.config/velmora/profiles/ and change what your meter needs;
# a file with this model takes this profile's place.
model = 34401A class (GPIB)
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
