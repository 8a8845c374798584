//! encrs FROM TO INPUT OUTPUT
//!
//! Converts the file INPUT from the encoding FROM to the encoding TO into the
//! file OUTPUT with encoding_rs, the peer that bench/compare.sh times against
//! morvel. FROM and TO are encoding labels (Shift_JIS, EUC-JP, ISO-2022-JP,
//! UTF-8, UTF-16LE, UTF-16BE).
//!
//! The input is read in blocks of 1 MiB and each block goes through the
//! decoder and the encoder, whose states carry over from block to block, to
//! the output file; the last call of each says so. The text goes from the
//! decoder to the encoder as UTF-16 when FROM is UTF-16, otherwise as UTF-8.
//! A byte order mark of FROM at the start is dropped. encoding_rs does not
//! encode UTF-16, so for a UTF-16 target the code units the decoder writes
//! are stored as bytes here, behind the mark (FF FE for UTF-16LE). Malformed
//! input and characters TO cannot hold are replaced the way encoding_rs
//! replaces them (U+FFFD; &#NNNN; in the output), and make the exit status 1.

use encoding_rs::{CoderResult, Decoder, Encoder, Encoding, UTF_16BE, UTF_16LE, UTF_8};
use std::fs::File;
use std::io::{self, Read, Write};
use std::process::exit;

const BLOCK: usize = 1 << 20;

/// What the run counted: decoder replacements and unmappable characters.
#[derive(Default)]
struct Faults {
    malformed: bool,
    unmappable: bool,
}

/// Reads the next block; an empty slice means the input is done.
fn next_block<'a>(input: &mut File, buf: &'a mut [u8]) -> io::Result<&'a [u8]> {
    let n = input.read(buf)?;
    Ok(&buf[..n])
}

/// TO is UTF-8: the decoder writes the output bytes itself.
fn to_utf8(mut dec: Decoder, input: &mut File, out: &mut File, faults: &mut Faults) -> io::Result<()> {
    let mut inbuf = vec![0u8; BLOCK];
    let mut mid = vec![0u8; dec.max_utf8_buffer_length(BLOCK).unwrap()];
    loop {
        let src = next_block(input, &mut inbuf)?;
        let last = src.is_empty();
        let mut src = src;
        loop {
            let (res, read, written, repl) = dec.decode_to_utf8(src, &mut mid, last);
            faults.malformed |= repl;
            out.write_all(&mid[..written])?;
            src = &src[read..];
            if res == CoderResult::InputEmpty {
                break;
            }
        }
        if last {
            return Ok(());
        }
    }
}

/// TO is UTF-16: the decoder writes code units, stored here in the byte
/// order of TO.
fn to_utf16(mut dec: Decoder, little: bool, input: &mut File, out: &mut File, faults: &mut Faults) -> io::Result<()> {
    let mut inbuf = vec![0u8; BLOCK];
    let mut units = vec![0u16; dec.max_utf16_buffer_length(BLOCK).unwrap()];
    let mut bytes = vec![0u8; 2 * units.len()];
    out.write_all(if little { b"\xFF\xFE" } else { b"\xFE\xFF" })?;
    loop {
        let src = next_block(input, &mut inbuf)?;
        let last = src.is_empty();
        let mut src = src;
        loop {
            let (res, read, written, repl) = dec.decode_to_utf16(src, &mut units, last);
            faults.malformed |= repl;
            for (pair, &u) in bytes.chunks_exact_mut(2).zip(&units[..written]) {
                pair.copy_from_slice(&if little { u.to_le_bytes() } else { u.to_be_bytes() });
            }
            out.write_all(&bytes[..2 * written])?;
            src = &src[read..];
            if res == CoderResult::InputEmpty {
                break;
            }
        }
        if last {
            return Ok(());
        }
    }
}

/// Any other TO from UTF-16: the decoder writes UTF-16, which the encoder
/// reads.
fn via_utf16(
    mut dec: Decoder,
    mut enc: Encoder,
    input: &mut File,
    out: &mut File,
    faults: &mut Faults,
) -> io::Result<()> {
    let mut inbuf = vec![0u8; BLOCK];
    let mut units = vec![0u16; dec.max_utf16_buffer_length(BLOCK).unwrap()];
    // Room for every unit that has a mapping; a replacement that does not
    // fit only makes the loop below write more often.
    let mut bytes = vec![0u8; enc.max_buffer_length_from_utf16_if_no_unmappables(units.len()).unwrap()];
    loop {
        let src = next_block(input, &mut inbuf)?;
        let last = src.is_empty();
        let mut src = src;
        loop {
            let (dres, read, decoded, repl) = dec.decode_to_utf16(src, &mut units, last);
            faults.malformed |= repl;
            src = &src[read..];
            // The encoder sees the end only once the decoder has seen it.
            let end = last && dres == CoderResult::InputEmpty;
            let mut mid = &units[..decoded];
            loop {
                let (eres, used, written, unmapped) = enc.encode_from_utf16(mid, &mut bytes, end);
                faults.unmappable |= unmapped;
                out.write_all(&bytes[..written])?;
                mid = &mid[used..];
                if eres == CoderResult::InputEmpty {
                    break;
                }
            }
            if dres == CoderResult::InputEmpty {
                break;
            }
        }
        if last {
            return Ok(());
        }
    }
}

/// Any other TO from any other FROM, by way of UTF-8 (measured: from
/// Shift_JIS, EUC-JP or UTF-8 as fast as or faster than by way of UTF-16).
fn via_utf8(
    mut dec: Decoder,
    mut enc: Encoder,
    input: &mut File,
    out: &mut File,
    faults: &mut Faults,
) -> io::Result<()> {
    let mut inbuf = vec![0u8; BLOCK];
    let mut text = String::with_capacity(dec.max_utf8_buffer_length(BLOCK).unwrap());
    let mut bytes = Vec::with_capacity(enc.max_buffer_length_from_utf8_if_no_unmappables(text.capacity()).unwrap());
    loop {
        let src = next_block(input, &mut inbuf)?;
        let last = src.is_empty();
        let mut src = src;
        loop {
            text.clear();
            let (dres, read, repl) = dec.decode_to_string(src, &mut text, last);
            faults.malformed |= repl;
            src = &src[read..];
            let end = last && dres == CoderResult::InputEmpty;
            let mut mid = text.as_str();
            loop {
                bytes.clear();
                let (eres, used, unmapped) = enc.encode_from_utf8_to_vec(mid, &mut bytes, end);
                faults.unmappable |= unmapped;
                out.write_all(&bytes)?;
                mid = &mid[used..];
                if eres == CoderResult::InputEmpty {
                    break;
                }
            }
            if dres == CoderResult::InputEmpty {
                break;
            }
        }
        if last {
            return Ok(());
        }
    }
}

fn encoding(label: &str) -> &'static Encoding {
    Encoding::for_label(label.as_bytes()).unwrap_or_else(|| {
        eprintln!("encrs: unknown encoding {}", label);
        exit(2);
    })
}

fn fail(what: &str, e: io::Error) -> ! {
    eprintln!("encrs: {}: {}", what, e);
    exit(2);
}

fn main() {
    let args: Vec<String> = std::env::args().collect();
    if args.len() != 5 {
        eprintln!("usage: encrs FROM TO INPUT OUTPUT");
        exit(2);
    }
    let from = encoding(&args[1]);
    let to = encoding(&args[2]);
    let mut input = File::open(&args[3]).unwrap_or_else(|e| fail(&args[3], e));
    let mut out = File::create(&args[4]).unwrap_or_else(|e| fail(&args[4], e));
    let dec = from.new_decoder_with_bom_removal();
    let mut faults = Faults::default();
    let done = if to == UTF_8 {
        to_utf8(dec, &mut input, &mut out, &mut faults)
    } else if to == UTF_16LE || to == UTF_16BE {
        to_utf16(dec, to == UTF_16LE, &mut input, &mut out, &mut faults)
    } else if from == UTF_16LE || from == UTF_16BE {
        via_utf16(dec, to.new_encoder(), &mut input, &mut out, &mut faults)
    } else {
        via_utf8(dec, to.new_encoder(), &mut input, &mut out, &mut faults)
    };
    if let Err(e) = done {
        fail(&format!("{} -> {}", args[3], args[4]), e);
    }
    if faults.malformed {
        eprintln!("encrs: malformed input replaced");
    }
    if faults.unmappable {
        eprintln!("encrs: unmappable characters replaced");
    }
    if faults.malformed || faults.unmappable {
        exit(1);
    }
}
