// Module start-up of the decoder library (to be written).
