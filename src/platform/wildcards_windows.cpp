// Neither cmd nor PowerShell expands wildcards for a program: with this, the C runtime does it
// for varnu-pack, so that `varnu-pack NEW.ARC GAME_*.BMP` names every bitmap, as a POSIX shell
// would. NTFS lists names in order, so the entries come in name order there too.
int _dowildcard = -1;
