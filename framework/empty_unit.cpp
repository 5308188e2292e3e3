// Gives every library target at least one translation unit while its folder is still empty.
