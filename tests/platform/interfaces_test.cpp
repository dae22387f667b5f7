// Tests of this unit are written with it.
